#include "framework/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(SettingsFile, WritesReadsAndKeepsSpelling) {
  test::TempFolder dir;
  const std::string path = dir.file("DUDORE.INI");
  SettingsFile ini(path);
  EXPECT_FALSE(ini.get("Main", "XPos"));
  EXPECT_EQ(ini.get("Main", "XPos", "7"), "7");
  EXPECT_TRUE(ini.remove("Main", "XPos"));
  EXPECT_FALSE(std::filesystem::exists(path)) << "deleting must not create the file";

  ASSERT_TRUE(ini.set("Main", "XPos", "10"));
  ASSERT_TRUE(ini.set("Main", "Width", "  640 "));
  ASSERT_TRUE(ini.set("CAP_FRE", "Titulo", "Compañía"));
  ASSERT_TRUE(ini.set("main", "xpos", "-5"));
  ASSERT_TRUE(ini.set("Main", "Vacio", ""));
  EXPECT_EQ(readBytes(path),
            "[Main]\r\nXPos=-5\r\nWidth=640\r\nVacio=\r\n\r\n[CAP_FRE]\r\nTitulo=Compa\xF1\xED"
            "a\r\n");
  EXPECT_EQ(ini.get("MAIN", "XPOS"), "-5");
  EXPECT_EQ(ini.get("cap_fre", "titulo"), "Compañía");
  EXPECT_EQ(ini.get("Main", "Vacio"), "");
  EXPECT_EQ(ini.get("Main", "Width", "1"), "640");

  ASSERT_TRUE(ini.remove("MAIN", "width"));
  EXPECT_FALSE(ini.get("Main", "Width"));
  EXPECT_EQ(ini.get("Main", "XPos"), "-5");
}

TEST(SettingsFile, KeepsWhatItDoesNotChange) {
  test::TempFolder dir;
  const std::string path = dir.file("vorovid.INI");
  // LF line ends, a stray line before any section, odd spacing, comments.
  writeBytes(path,
             "stray line\n"
             "[Main]\n"
             "  XPos = 3 \n"
             "Width  =  640\n"
             "no equals sign here\n"
             "; the next section is the supplier browse\n"
             "\n"
             "[CAP_PRV]\n"
             "Maximize=No\n");
  SettingsFile ini(path);
  EXPECT_EQ(ini.get("Main", "XPos"), "3");
  EXPECT_EQ(ini.get("Main", "Width"), "640");
  EXPECT_FALSE(ini.get("Main", "no equals sign here"));

  ASSERT_TRUE(ini.set("Main", "Height", "480"));
  ASSERT_TRUE(ini.set("Main", "XPos", "3"));  // same value: line left as it was
  EXPECT_EQ(readBytes(path),
            "stray line\r\n"
            "[Main]\r\n"
            "  XPos = 3 \r\n"
            "Width  =  640\r\n"
            "no equals sign here\r\n"
            "Height=480\r\n"
            "; the next section is the supplier browse\r\n"
            "\r\n"
            "[CAP_PRV]\r\n"
            "Maximize=No\r\n");
}

TEST(SettingsFile, RefusesWhatWouldDamageTheFile) {
  test::TempFolder dir;
  SettingsFile missing(dir.path() / "no-such-folder" / "DUDORE.INI");
  const Status st = missing.set("Main", "XPos", "1");
  EXPECT_EQ(st.code, err::PathNotFound);
  EXPECT_NE(st.text.find("no-such-folder"), std::string::npos) << st.text;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));

  const std::string path = dir.file("DUDORE.INI");
  SettingsFile ini(path);
  ASSERT_TRUE(ini.set("Main", "XPos", "1"));
  const std::string before = readBytes(path);
  const std::vector<std::array<std::string, 3>> damaging = {
      {"Main", "XPos", "1\r\nYPos=2"},
      {"Main", "X\nPos", "1"},
      {"Ma\nin", "XPos", "1"},
      {"Main", std::string("X\0", 2), "1"},
      {"Main", "A=B", "1"},
      {"Main", ";XPos", "1"},
      {"Main", "[Other]", "1"},
      {"Main", " ", "1"},
      {"", "XPos", "1"},
      {"Main", "Titulo", "Łódź"},  // no Windows-1252 form
  };
  for (const auto& [section, key, value] : damaging) {
    const Status refused = ini.set(section, key, value);
    EXPECT_EQ(refused.code, err::ValueRefused) << section << "/" << key << "=" << value;
    EXPECT_FALSE(refused.text.empty());
  }
  EXPECT_EQ(readBytes(path), before);

  // A file the user cannot write is reported, never replaced behind its back.
  // (root ignores the mark, so the check only runs for an ordinary user).
  ::chmod(path.c_str(), 0444);
  if (::access(path.c_str(), W_OK) != 0) {
    EXPECT_EQ(ini.set("Main", "XPos", "2").code, err::AccessDenied);
    EXPECT_EQ(readBytes(path), before);
  }
}

TEST(SettingsFile, NeverWritesThroughALinkNorIntoAFolder) {
  namespace fs = std::filesystem;
  test::TempFolder dir;
  // A folder where the file should be reads as empty and is never written.
  fs::create_directory(dir.path() / "DUDORE.INI");
  SettingsFile folder(dir.path() / "DUDORE.INI");
  EXPECT_FALSE(folder.get("Main", "XPos").has_value());
  EXPECT_FALSE(folder.check());
  const Status st = folder.set("Main", "XPos", "1");
  EXPECT_FALSE(st);
  EXPECT_NE(st.text.find("carpeta"), std::string::npos) << st.text;
  EXPECT_TRUE(fs::is_directory(dir.path() / "DUDORE.INI"));

  // A link to a file elsewhere: read, but the file it points to is never
  // changed, not even its line ends. A dangling link creates nothing.
  const std::string elsewhere = dir.file("elsewhere.txt");
  writeBytes(elsewhere, "[Empresa]\nNombre=OTRA\n");
  fs::create_symlink(elsewhere, dir.path() / "VELMORA.INI");
  SettingsFile linked(dir.path() / "VELMORA.INI");
  EXPECT_TRUE(linked.check());
  EXPECT_EQ(linked.get("Empresa", "Nombre", ""), "OTRA");
  EXPECT_FALSE(linked.set("Empresa", "Nombre", "NUEVA"));
  EXPECT_EQ(readBytes(elsewhere), "[Empresa]\nNombre=OTRA\n");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "VELMORA.INI"));
  fs::create_symlink(dir.path() / "missing.txt", dir.path() / "vorovid.INI");
  EXPECT_FALSE(SettingsFile(dir.path() / "vorovid.INI").set("Main", "XPos", "1"));
  EXPECT_FALSE(fs::exists(dir.path() / "missing.txt"));
  EXPECT_TRUE(SettingsFile(dir.path() / "absent.INI").check());
}

TEST(SettingsFile, DuplicatesAndEncodings) {
  test::TempFolder dir;
  const std::string path = dir.file("DUDORE.INI");
  writeBytes(path,
             "[Main]\r\nXPos=1\r\nxpos=2\r\n[Other]\r\nA=1\r\n[MAIN]\r\nXPOS=3\r\nYPos=4\r\n");
  SettingsFile ini(path);
  EXPECT_EQ(ini.get("Main", "XPos"), "1");
  EXPECT_EQ(ini.get("Main", "YPos"), "4") << "a repeated section still counts";
  ASSERT_TRUE(ini.set("Main", "XPos", "9"));
  EXPECT_EQ(readBytes(path), "[Main]\r\nXPos=9\r\n[Other]\r\nA=1\r\n[MAIN]\r\nYPos=4\r\n");
  ASSERT_TRUE(ini.remove("Main", "YPos"));
  EXPECT_FALSE(ini.get("Main", "YPos")) << "a deleted key came back with an older value";

  // A file saved by an editor as UTF-8 with a byte-order mark stays UTF-8.
  const std::string utf8 = dir.file("utf8.INI");
  writeBytes(utf8, "\xEF\xBB\xBF[Main]\nTitulo=Año\n");
  SettingsFile u(utf8);
  EXPECT_EQ(u.get("Main", "Titulo"), "Año");
  ASSERT_TRUE(u.set("Main", "Otro", "Łódź"));
  EXPECT_EQ(readBytes(utf8), "\xEF\xBB\xBF[Main]\r\nTitulo=Año\r\nOtro=Łódź\r\n");

  // UTF-16 is not ours to rewrite: appending Windows-1252 lines would ruin it.
  const std::string utf16 = dir.file("utf16.INI");
  const std::string wide("\xFF\xFE[\0M\0]\0", 8);
  writeBytes(utf16, wide);
  EXPECT_EQ(SettingsFile(utf16).set("Main", "XPos", "1").code, err::InvalidDataFile);
  EXPECT_EQ(readBytes(utf16), wide);
}

TEST(SettingsFile, WritersOnOneFileKeepEachOthersKeys) {
  test::TempFolder dir;
  const std::string path = dir.file("DUDORE.INI");
  SettingsFile a(path), b(path);
  ASSERT_TRUE(a.set("CAP_FRE", "XPos", "1"));
  ASSERT_TRUE(b.set("CAP_FRE", "YPos", "2"));
  ASSERT_TRUE(a.set("UP_FRE", "Width", "3"));
  ASSERT_TRUE(b.set("Main", "Height", "4"));
  ASSERT_TRUE(a.remove("CAP_FRE", "XPos"));
  for (const SettingsFile* f : {&a, &b}) {
    EXPECT_FALSE(f->get("CAP_FRE", "XPos"));
    EXPECT_EQ(f->get("CAP_FRE", "YPos"), "2");
    EXPECT_EQ(f->get("UP_FRE", "Width"), "3");
    EXPECT_EQ(f->get("Main", "Height"), "4");
  }

  // Simultaneous writers (the lock, not luck, keeps every key).
  constexpr int kWriters = 4, kKeys = 15;
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&path, w] {
      SettingsFile f(path);
      for (int k = 0; k < kKeys; ++k)
        EXPECT_TRUE(f.set("W" + std::to_string(w), "K" + std::to_string(k), std::to_string(k)));
    });
  }
  for (auto& t : threads) t.join();
  for (int w = 0; w < kWriters; ++w)
    EXPECT_EQ(a.section("W" + std::to_string(w)).entries.size(), std::size_t{kKeys});
  EXPECT_EQ(a.get("Main", "Height"), "4");
  std::size_t files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1u) << "temporary files left behind";
}

std::string describe(const std::optional<WindowPlacement>& p) {
  if (!p) return "nothing";
  const auto n = [](const std::optional<int>& v) { return v ? std::to_string(*v) : "-"; };
  return std::string(p->maximized ? "max " : "") + (p->minimized ? "min " : "") + n(p->x) + "," +
         n(p->y) + " " + n(p->width) + "x" + n(p->height) + " tab " + n(p->tab);
}

TEST(WindowSettings, SaveAndRestore) {
  test::TempFolder dir;
  const std::string path = dir.file("DUDORE.INI");
  SettingsFile ini(path);
  EXPECT_EQ(describe(loadWindowSettings(ini, "CAP_FRE")), "nothing");

  WindowPlacement p;
  p.maximized = true;
  p.x = -8, p.y = 12, p.width = 800, p.height = 600, p.tab = 2;
  ASSERT_TRUE(saveWindowSettings(ini, "CAP_FRE", p, true));
  EXPECT_EQ(ini.get("CAP_FRE", "Maximize"), "Yes");
  EXPECT_EQ(ini.get("CAP_FRE", "Minimize"), "No");
  EXPECT_EQ(describe(loadWindowSettings(ini, "cap_fre")), "max -8,12 800x600 tab 2");

  // Unset positions delete their keys; a window without a sheet leaves the tab.
  p.maximized = false;
  p.x = kUnsetPosition, p.y.reset(), p.tab = 5;
  ASSERT_TRUE(saveWindowSettings(ini, "CAP_FRE", p, false));
  EXPECT_FALSE(ini.get("CAP_FRE", "XPos"));
  EXPECT_FALSE(ini.get("CAP_FRE", "YPos"));
  EXPECT_EQ(describe(loadWindowSettings(ini, "CAP_FRE")), "-,- 800x600 tab 2");

  // Hand-edited values: case of Yes, and numbers that would lose the window.
  writeBytes(path,
             "[Main]\nXPos=10\nWidth=640\n"
             "[UP_FRE]\nmaximize=yes\nMinimize=YES\nXPos=12abc\nYPos=-2147483648\n"
             "Width=0\nHeight=480\nTab:?CurrentTab=\n");
  EXPECT_EQ(describe(loadWindowSettings(ini, "Main")), "nothing");
  EXPECT_EQ(describe(loadWindowSettings(ini, "UP_FRE")), "max min -,- -x480 tab -");

  EXPECT_EQ(saveWindowSettings(ini, "", p, false).code, err::ValueRefused);
}

TEST(SettingsFile, PythonConfigparserReadsTheSame) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 is not installed";
  test::TempFolder dir;
  const std::string path = dir.file("DUDORE.INI");
  writeBytes(path, "; written by hand\n[Main]\nXPos=1\n");
  SettingsFile ini(path);
  WindowPlacement p;
  p.x = 5, p.width = 700, p.tab = 3;
  ASSERT_TRUE(saveWindowSettings(ini, "CAP_EST", p, true));
  ASSERT_TRUE(ini.set("Main", "Empresa", "Constructora Peñón, S.A. 100%"));
  ASSERT_TRUE(ini.set("Main", "Vacio", ""));

  // '=' is the only separator of a profile file ("Tab:?CurrentTab" has a colon).
  const std::string cmd =
      "python3 -c 'import configparser, sys\n"
      "c = configparser.ConfigParser(delimiters=(\"=\",), interpolation=None)\n"
      "c.optionxform = str\n"
      "c.read(sys.argv[1], encoding=\"cp1252\")\n"
      "out = \"\".join(s + \"|\" + k + \"|\" + v + \"\\n\" for s in c.sections() for k, v in "
      "c[s].items())\n"
      "sys.stdout.buffer.write(out.encode(\"utf-8\"))' " +
      path + " 2>&1";
  FILE* pipe = ::popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  std::array<char, 1024> buf;
  for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;)
    out.append(buf.data(), n);
  ASSERT_EQ(::pclose(pipe), 0) << out;

  std::string expected;
  for (const std::string section : {"Main", "CAP_EST"})
    for (const auto& [k, v] : ini.section(section).entries)
      expected += section + "|" + k + "|" + v + "\n";
  EXPECT_EQ(out, expected);
  EXPECT_NE(out.find("CAP_EST|Tab:?CurrentTab|3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Main|Empresa|Constructora Peñón, S.A. 100%\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmora
