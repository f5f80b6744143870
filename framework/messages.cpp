#include "framework/messages.h"

#include <algorithm>
#include <utility>

namespace velmora {
namespace {

// Length of the UTF-8 sequence starting with b; a malformed byte counts as
// one character so that cutting damaged text still ends.
std::size_t sequenceLength(unsigned char b) {
  if (b >= 0xF0 && b <= 0xF4) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC2) return 2;
  return 1;
}

// Keeps at most `chars` characters, never splitting one.
void cutToChars(std::string& s, std::size_t chars) {
  std::size_t pos = 0;
  for (std::size_t n = 0; n < chars && pos < s.size(); ++n) {
    std::size_t len = sequenceLength(static_cast<unsigned char>(s[pos]));
    for (std::size_t i = 1; i < len; ++i) {
      if (pos + i >= s.size() || (static_cast<unsigned char>(s[pos + i]) & 0xC0) != 0x80) {
        len = 1;
        break;
      }
    }
    pos += len;
  }
  if (pos < s.size()) s.resize(pos);
}

std::string clipped(std::string_view value, std::size_t chars) {
  std::string s(value);
  cutToChars(s, chars);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

// The questions whose yes cannot be undone (a deletion, changes thrown
// away): Enter must not answer them.
bool yesDestroys(int id) { return id == 10 || id == 11; }

bool isQuestion(MessageLevel level) {
  return level == MessageLevel::Question || level == MessageLevel::CancelQuestion;
}

// A default that is not one of the buttons, or an answer the box did not
// offer (a closed window), falls to the most cautious button offered.
int cautiousButton(int buttons) {
  for (int b : {button::Cancel, button::No, button::Ok, button::Yes}) {
    if (buttons & b) return b;
  }
  return button::Ok;
}

bool isOneOf(int b, int buttons) { return b > 0 && (b & (b - 1)) == 0 && (buttons & b) == b; }

}  // namespace

std::vector<std::string> MessageBox::lines() const {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = text.find('|', start);
    out.push_back(text.substr(start, bar - start));
    if (bar == std::string::npos) return out;
    start = bar + 1;
  }
}

MessageService::MessageService() {
  for (MessageEntry& entry : standardCatalogue()) add(std::move(entry));
}

void MessageService::add(MessageEntry entry) {
  cutToChars(entry.title, kEntryTextLimit);
  cutToChars(entry.text, kEntryTextLimit);
  std::lock_guard lock(mutex_);
  catalogue_.push_back(std::move(entry));
}

const MessageEntry* MessageService::findLocked(int id) const {
  for (auto it = catalogue_.rbegin(); it != catalogue_.rend(); ++it) {
    if (it->id == id) return &*it;
  }
  return nullptr;
}

std::optional<MessageEntry> MessageService::find(int id) const {
  std::lock_guard lock(mutex_);
  const MessageEntry* entry = findLocked(id);
  if (!entry) return std::nullopt;
  return *entry;
}

void MessageService::registerProcedure(int thread, std::string name) {
  std::lock_guard lock(mutex_);
  procedures_.push_back({thread, std::move(name)});
}

void MessageService::unregisterProcedure(int thread, std::string_view name) {
  std::lock_guard lock(mutex_);
  for (auto it = procedures_.rbegin(); it != procedures_.rend(); ++it) {
    if (it->thread == thread && it->name == name) {
      procedures_.erase(std::next(it).base());
      return;
    }
  }
}

std::string MessageService::procedureLocked(int thread) const {
  for (auto it = procedures_.rbegin(); it != procedures_.rend(); ++it) {
    if (it->thread == thread) return it->name;
  }
  return {};
}

std::string MessageService::currentProcedure(int thread) const {
  std::lock_guard lock(mutex_);
  return procedureLocked(thread);
}

void MessageService::setField(ErrorContext& ctx, std::string_view name) const {
  ctx.fieldName = clipped(name, kNameLimit);
}

void MessageService::setKey(ErrorContext& ctx, std::string_view name) const {
  ctx.keyName = clipped(name, kNameLimit);
}

std::string MessageService::buildText(const ErrorContext& ctx,
                                      const std::string& templateText) const {
  std::string procedure;
  std::string previous;
  {
    std::lock_guard lock(mutex_);
    procedure = procedureLocked(ctx.thread);
    if (const MessageEntry* prev = findLocked(ctx.previousErrorId)) previous = prev->text;
  }
  const std::string code = std::to_string(ctx.saveErrorCode);
  const std::string errorText = ctx.saveErrorCode == 90 || ctx.saveErrorCode == 100
                                    ? ctx.saveFileError + " (" + ctx.saveFileErrorCode + ")"
                                    : ctx.saveError + " (" + code + ")";
  // In replacement order: a placeholder comes before any shorter one that is
  // its prefix, so the first match at a position is the right one.
  const std::pair<std::string_view, std::string_view> substitutions[] = {
      {"%FileErrorCode", ctx.saveFileErrorCode},
      {"%FileError", ctx.saveFileError},
      {"%File", ctx.fileName},
      {"%Key", ctx.keyName},
      {"%ErrorCode", code},
      {"%ErrorText", errorText},
      {"%Error", ctx.saveError},
      {"%Message", ctx.messageText},
      {"%Field", ctx.fieldName},
      {"%Procedure", procedure},
      {"%Category", ctx.category},
      {"%Previous", previous},
  };

  // No character takes more than four bytes, so past this the cut below
  // drops everything anyway; stopping early bounds the work for huge values.
  const std::size_t byteBound = 4 * kTextLimit;
  std::string out;
  std::size_t pos = 0;
  while (pos < templateText.size() && out.size() <= byteBound) {
    const std::size_t mark = templateText.find('%', pos);
    out.append(templateText, pos, mark == std::string::npos ? std::string::npos : mark - pos);
    if (mark == std::string::npos) break;
    pos = mark;
    std::size_t matched = 0;
    for (const auto& [name, value] : substitutions) {
      const std::string_view here = std::string_view(templateText).substr(pos, name.size());
      if (!equalsIgnoringCase(here, name)) continue;
      // A value that is the placeholder itself leaves the text as written.
      out.append(equalsIgnoringCase(value, name) ? here : value);
      matched = name.size();
      break;
    }
    if (matched == 0) {
      out.push_back('%');
      matched = 1;
    }
    pos += matched;
  }
  cutToChars(out, kTextLimit);
  return out;
}

void MessageService::prepare(ErrorContext& ctx, int id, const Status& lastError) {
  ctx.saveErrorCode = lastError.code;
  ctx.saveError = lastError.text;
  ctx.saveFileErrorCode = lastError.fileErrorCode;
  ctx.saveFileError = lastError.fileError;
  ctx.previousErrorId = ctx.errorId;
  ctx.errorId = id;

  std::optional<MessageEntry> entry = find(id);
  if (!entry) {
    ctx.title.clear();
    ctx.text.clear();
    ctx.category.clear();
    ctx.level = MessageLevel::Silent;
    return;
  }
  ctx.title = std::move(entry->title);
  ctx.level = entry->level;
  ctx.category = std::move(entry->category);
  ctx.text = buildText(ctx, entry->text);
}

MessageHost* MessageService::visibleHost() const { return silent ? nullptr : host_.load(); }

int MessageService::raise(ErrorContext& ctx, int id, const Status& lastError) {
  prepare(ctx, id, lastError);
  MessageBox box{ctx.title, ctx.text, MessageIcon::Exclamation, button::Ok, button::Ok, style};
  MessageHost* host = visibleHost();

  if (ctx.level == MessageLevel::Silent) return kAnsweredYes;
  if (isQuestion(ctx.level)) {
    if (!host) return kAnsweredYes;
    box.icon = MessageIcon::Question;
    box.buttons = button::Yes | button::No;
    box.defaultButton = yesDestroys(id) ? button::No : button::Yes;
    // Only an explicit Yes goes ahead: a closed box must not confirm a deletion.
    return host->show(box) == button::Yes ? kAnsweredYes : kAnsweredNo;
  }
  if (ctx.level == MessageLevel::Notice) {
    if (host) host->show(box);
    return kNoticed;
  }
  // Program errors, fatal errors and unknown levels. Silence hides the box but
  // must not let the program carry on past a fatal error.
  if (host) {
    box.text += kFatalSuffix;
    host->show(box);
  }
  if (MessageHost* stopper = host_.load()) stopper->stopProgram();
  return kStopped;
}

int MessageService::raiseWithFile(ErrorContext& ctx, int id, std::string_view table,
                                  const Status& lastError) {
  ctx.fileName = clipped(table, kNameLimit);
  return raise(ctx, id, lastError);
}

int MessageService::raiseWithMessage(ErrorContext& ctx, int id, std::string_view text,
                                     const Status& lastError) {
  ctx.messageText = clipped(text, kNameLimit);
  return raise(ctx, id, lastError);
}

int MessageService::ask(ErrorContext& ctx, int id, int buttons, int defaultButton,
                        const Status& lastError) {
  buttons &= button::Ok | button::Yes | button::No | button::Cancel;
  if (buttons == 0) buttons = button::Ok;
  if (!isOneOf(defaultButton, buttons)) defaultButton = cautiousButton(buttons);

  prepare(ctx, id, lastError);
  MessageHost* host = visibleHost();
  if (!host || ctx.level == MessageLevel::Silent) return defaultButton;

  const MessageIcon icon = isQuestion(ctx.level) ? MessageIcon::Question : MessageIcon::Exclamation;
  const int pressed = host->show({ctx.title, ctx.text, icon, buttons, defaultButton, style});
  return isOneOf(pressed, buttons) ? pressed : cautiousButton(buttons);
}

}  // namespace velmora
