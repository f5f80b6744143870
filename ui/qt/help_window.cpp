#include "ui/qt/help_window.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

namespace velmora::qt {

namespace {

QPointer<HelpWindow> theWindow;
std::string theFolder;

QString inFolder(const std::string& folder, const QString& file) {
  return QString::fromStdString((std::filesystem::path(folder) / file.toStdString()).string());
}

QString readText(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll());
}

QToolButton* toolButton(const QString& text, const QString& icon, const QString& tip) {
  auto* b = new QToolButton;
  b->setText(text);
  b->setToolTip(tip);
  if (QIcon::hasThemeIcon(icon)) b->setIcon(QIcon::fromTheme(icon));
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  b->setAutoRaise(true);
  return b;
}

}  // namespace

HelpWindow* HelpWindow::instance() { return theWindow.data(); }

void HelpWindow::show(const std::string& folder, const help::Topic& topic) {
  if (theWindow && theFolder != folder) delete theWindow.data();
  if (!theWindow) {
    theWindow = new HelpWindow(folder);
    theFolder = folder;
  }
  theWindow->open(topic);
  theWindow->QWidget::show();
  theWindow->raise();
  theWindow->activateWindow();
}

HelpWindow::HelpWindow(const std::string& folder) : folder_(folder) {
  setWindowTitle(QStringLiteral("Manual del Sistema"));

  back_ = toolButton(QStringLiteral("Atrás"), QStringLiteral("go-previous"),
                     QStringLiteral("La página vista antes (Alt+Izquierda)"));
  forward_ = toolButton(QStringLiteral("Adelante"), QStringLiteral("go-next"),
                        QStringLiteral("La página siguiente (Alt+Derecha)"));
  auto* contents = toolButton(QStringLiteral("Contenido"), QStringLiteral("go-home"),
                              QStringLiteral("El contenido del manual"));
  auto* printButton = toolButton(QStringLiteral("Imprime"), QStringLiteral("document-print"),
                                 QStringLiteral("Imprime la página que se ve"));
  find_ = new QLineEdit;
  find_->setPlaceholderText(QStringLiteral("palabras a buscar"));
  find_->setClearButtonEnabled(true);
  find_->setMinimumWidth(220);
  auto* findButton = new QPushButton(QStringLiteral("&Busca"));

  auto* bar = new QHBoxLayout;
  bar->addWidget(back_);
  bar->addWidget(forward_);
  bar->addWidget(contents);
  bar->addWidget(printButton);
  bar->addStretch(1);
  bar->addWidget(new QLabel(QStringLiteral("Buscar:")));
  bar->addWidget(find_);
  bar->addWidget(findButton);

  listTitle_ = new QLabel;
  list_ = new QListWidget;
  list_->setWordWrap(true);
  list_->setMinimumWidth(280);
  auto* left = new QWidget;
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(listTitle_);
  leftLayout->addWidget(list_);

  browser_ = new QTextBrowser;
  browser_->setSearchPaths({QString::fromStdString(folder_)});
  browser_->setOpenExternalLinks(true);

  auto* split = new QSplitter;
  split->addWidget(left);
  split->addWidget(browser_);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({320, 720});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(split, 1);

  back_->setEnabled(false);
  forward_->setEnabled(false);
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
  connect(contents, &QToolButton::clicked, this, [this] {
    find_->clear();
    showChapters();
    open(help::kContents);
  });
  connect(printButton, &QToolButton::clicked, this, [this] { print(); });
  auto runSearch = [this] {
    if (find_->text().trimmed().isEmpty()) return showChapters();
    search(find_->text());
  };
  connect(find_, &QLineEdit::returnPressed, this, runSearch);
  connect(findButton, &QPushButton::clicked, this, runSearch);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { chosen(row); });
  connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl&) { markShown(); });
  new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Left), this, [this] { browser_->backward(); });
  new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Right), this, [this] { browser_->forward(); });
  new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this, [this] { find_->setFocus(); });
  new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });

  loadPages();
  showChapters();
  QSize size(1040, 720);
  if (QScreen* screen = QApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 0.9);
  resize(size);
}

void HelpWindow::loadPages() {
  const QString index = readText(inFolder(folder_, QStringLiteral("paginas.txt")));
  for (const QString& line : index.split('\n', Qt::SkipEmptyParts)) {
    const QStringList parts = line.split('\t');
    if (parts.size() < 2) continue;
    // The words of the page, as the reader sees them.
    const QString html = readText(inFolder(folder_, parts[0]));
    pages_.push_back(
        {parts[0], parts[1], QTextDocumentFragment::fromHtml(html).toPlainText().toLower()});
  }
}

void HelpWindow::showChapters() {
  const QSignalBlocker quiet(list_);
  list_->clear();
  listed_.clear();
  listTitle_->setText(QStringLiteral("<b>Contenido</b>"));
  for (const Page& p : pages_) {
    list_->addItem(p.title);
    listed_.push_back(p.file);
  }
  markShown();
}

int HelpWindow::search(const QString& words) {
  const QStringList wanted = words.toLower().split(' ', Qt::SkipEmptyParts);
  struct Found {
    const Page* page;
    qsizetype hits;
  };
  std::vector<Found> found;
  for (const Page& p : pages_) {
    qsizetype hits = 0;
    bool all = !wanted.isEmpty();
    for (const QString& w : wanted) {
      const qsizetype n = p.text.count(w);
      all = all && n > 0;
      hits += n;
    }
    if (all) found.push_back({&p, hits});
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.hits > b.hits; });
  {
    const QSignalBlocker quiet(list_);
    list_->clear();
    listed_.clear();
    for (const Found& f : found) {
      list_->addItem(QStringLiteral("%1 (%2)").arg(f.page->title).arg(f.hits));
      listed_.push_back(f.page->file);
    }
  }
  listTitle_->setText(
      found.empty() ? QStringLiteral("<b>Ninguna página tiene «%1»</b>").arg(words.toHtmlEscaped())
                    : QStringLiteral("<b>Páginas con «%1»: %2</b>")
                          .arg(words.toHtmlEscaped())
                          .arg(found.size()));
  if (!found.empty()) list_->setCurrentRow(0);
  return int(found.size());
}

void HelpWindow::chosen(int row) {
  if (row < 0 || row >= int(listed_.size())) return;
  open({listed_[row].toStdString(), {}});
  // A page a search found opens on the first place it has the words.
  const QStringList wanted = find_->text().split(' ', Qt::SkipEmptyParts);
  if (!wanted.isEmpty()) browser_->find(wanted.front());
}

void HelpWindow::open(const help::Topic& topic) {
  QUrl url = QUrl::fromLocalFile(inFolder(folder_, QString::fromStdString(topic.page)));
  if (!topic.anchor.empty()) url.setFragment(QString::fromStdString(topic.anchor));
  if (browser_->source() == url) {
    if (!topic.anchor.empty()) browser_->scrollToAnchor(url.fragment());
    return;
  }
  browser_->setSource(url);
  markShown();
}

void HelpWindow::markShown() {
  // The chapter shown is the one marked in the list.
  const QString shown = page();
  for (int i = 0; i < int(listed_.size()); ++i)
    if (listed_[i] == shown && list_->currentRow() != i) {
      const QSignalBlocker quiet(list_);
      list_->setCurrentRow(i);
    }
}

QString HelpWindow::page() const { return browser_->source().fileName(); }

void HelpWindow::print() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("Imprime la página del manual"));
  if (dialog.exec() == QDialog::Accepted) browser_->print(&printer);
}

}  // namespace velmora::qt
