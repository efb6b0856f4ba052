// The companion window's menu and content: the texts, fields and buttons top to bottom.
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "CompanionApp.hpp"

namespace quelvar {
namespace {

const char* const tagline = "Private subtitles for Chrome videos, translated on your computer.";

}  // namespace

void CompanionApp::buildMenu() {
  QMenu* menu = window_->menuBar()->addMenu(literalTitle(name_));
  QAction* about = menu->addAction(literalTitle("About " + name_));
  QObject::connect(about, &QAction::triggered, window_.get(), [this] {
    QMessageBox::about(window_.get(), "About " + name_,
                       "<b>" + name_.toHtmlEscaped() + "</b> " + QStringLiteral(QUELVAR_VERSION) +
                           "<p>" + QString::fromUtf8(tagline) + "</p>");
  });
  menu->addSeparator();
  QAction* quit = menu->addAction(literalTitle("Quit " + name_));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  QObject::connect(quit, &QAction::triggered, qApp, &QApplication::quit);
}

void CompanionApp::buildContent() {
  QWidget* content = window_->centralWidget();
  // Fonts differ between desktops; the window grows below its 640 pixels rather than cut text off.
  content->setFixedWidth(560);
  content->setMinimumHeight(640);
  auto* stack = new QVBoxLayout(content);
  stack->setSpacing(16);
  stack->setContentsMargins(28, 28, 28, 28);

  stack->addWidget(makeLabel(name_, systemFont(30, QFont::Bold)));
  addText(QString::fromUtf8(tagline), *stack, true);
  status_->setTextFormat(Qt::PlainText);
  status_->setFont(systemFont(15, QFont::DemiBold));
  stack->addWidget(status_);
  connectedBrowsers_->setTextFormat(Qt::PlainText);
  connectedBrowsers_->setFont(systemFont(13));
  setTextColour(*connectedBrowsers_, TextColour::secondary);
  connectedBrowsers_->hide();
  stack->addWidget(connectedBrowsers_);
  stack->addWidget(makeWrappingLabel(
      "Start and stop subtitles from the extension on the video tab. This app supplies on-device "
      "speech recognition (PocketSphinx) and translation (Apertium).",
      systemFont(13), TextColour::label));

  if (builtInID_) {
    extensionField_->hide();
  } else {
    addText(
        "Preview setup: copy the 32-letter extension ID from its details at "
        "chrome://extensions.",
        *stack, true);
    extensionField_->setPlaceholderText(QStringLiteral("Chrome extension ID"));
    extensionField_->setAccessibleName(QStringLiteral("Chrome extension ID"));
    extensionField_->setFixedWidth(textWidth);
    stack->addWidget(extensionField_);
    // Enter in the field is the same as pressing "Connect extension".
    QObject::connect(extensionField_, &QLineEdit::returnPressed, window_.get(),
                     [this] { connect(); });
  }

  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  connectButton_ = new QPushButton(QStringLiteral("Connect extension"));
  disconnectButton_ = new QPushButton(QStringLiteral("Disconnect"));
  auto* refreshButton = new QPushButton(QStringLiteral("Refresh status"));
  QObject::connect(connectButton_, &QPushButton::clicked, window_.get(), [this] { connect(); });
  QObject::connect(disconnectButton_, &QPushButton::clicked, window_.get(),
                   [this] { disconnect(); });
  QObject::connect(refreshButton, &QPushButton::clicked, window_.get(),
                   [this] { refreshStatus(); });
  row->addWidget(connectButton_);
  row->addWidget(disconnectButton_);
  row->addWidget(refreshButton);
  row->addStretch();
  stack->addLayout(row);

  notice_->setTextFormat(Qt::PlainText);
  notice_->setWordWrap(true);
  notice_->setFont(systemFont(12));
  notice_->setFixedWidth(textWidth);
  notice_->hide();
  stack->addWidget(notice_);

  auto* line = new QFrame;
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setFixedWidth(textWidth);
  stack->addWidget(line);

  stack->addWidget(
      makeLabel(QStringLiteral("Language readiness"), systemFont(15, QFont::DemiBold)));
  stack->addWidget(makeWrappingLabel(
      "Install translation languages as Apertium language-pair packages (for example "
      "apertium-eng-spa). Then refresh languages in the extension.",
      systemFont(13), TextColour::label));
  addText(
      "For missing source speech models, use Download speech model in the extension. Speech "
      "models are installed as PocketSphinx model packages (for example pocketsphinx-en-us).",
      *stack, true);
  auto* languagesButton = new QPushButton(literalTitle(QStringLiteral("Open Language & Region")));
  QObject::connect(languagesButton, &QPushButton::clicked, window_.get(),
                   [this] { openLanguages(); });
  stack->addWidget(languagesButton);
  addText(
      "Powered by on-device speech recognition and translation. Audio and subtitle text stay "
      "on your computer.",
      *stack, true);
  addText(QStringLiteral("Linux · x86-64 or ARM64 · Chrome 116+\nTab audio works on regular video "
                         "websites. Protected streams, picture-in-picture and some "
                         "embedded/fullscreen players have limitations."),
          *stack, true);
  for (int i = 0; i < stack->count(); ++i) {
    stack->itemAt(i)->setAlignment(Qt::AlignLeft);
  }
  stack->addStretch();
}

void CompanionApp::addText(const QString& text, QVBoxLayout& stack, bool secondary) {
  stack.addWidget(makeWrappingLabel(text, systemFont(13),
                                    secondary ? TextColour::secondary : TextColour::label));
}

}  // namespace quelvar
