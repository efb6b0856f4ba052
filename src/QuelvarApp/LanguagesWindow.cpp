// The languages window's content: installed directions and models, then one row per package.
#include "LanguagesWindow.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "WindowStyle.hpp"

namespace quelvar {
namespace {

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One line per entry, or a sentence saying there is none.
QString lines(const std::vector<std::string>& entries, const char* none) {
  QStringList list;
  for (const std::string& entry : entries) {
    list << fromUtf8(entry);
  }
  return list.isEmpty() ? QString::fromUtf8(none) : list.join('\n');
}

// The command in a read-only field, so that it can be selected, and a button that copies it.
QLayout* commandRow(const PackageOffer& offer) {
  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  auto* command = new QLineEdit(fromUtf8(offer.command));
  command->setReadOnly(true);
  command->setAccessibleName("Command that adds " + fromUtf8(offer.adds));
  auto* copy = new QPushButton(QStringLiteral("Copy"));
  copy->setAccessibleDescription(command->text());
  QObject::connect(copy, &QPushButton::clicked, copy, [copy, text = command->text()] {
    QGuiApplication::clipboard()->setText(text);
    copy->setText(QStringLiteral("Copied"));
  });
  row->addWidget(command, 1);
  row->addWidget(copy);
  return row;
}

}  // namespace

LanguagesWindow::LanguagesWindow(std::function<LanguageReadiness()> read)
    : read_(std::move(read)), scroll_(new QScrollArea(this)) {
  // Qt adds the application's display name to the title the desktop shows.
  setWindowTitle(QStringLiteral("Languages"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll_);
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  resize(580, 640);
}

void LanguagesWindow::open() {
  refresh();
  show();
  raise();
  activateWindow();
}

void LanguagesWindow::refresh() {
  // The old content goes with the widget the scroll area gives back.
  delete scroll_->takeWidget();
  scroll_->setWidget(buildContent(read_()));
}

QWidget* LanguagesWindow::buildContent(const LanguageReadiness& readiness) {
  auto* content = new QWidget;
  auto* stack = new QVBoxLayout(content);
  stack->setSpacing(12);
  stack->setContentsMargins(28, 28, 28, 28);
  const auto heading = [stack](const char* text) {
    stack->addSpacing(4);
    stack->addWidget(makeLabel(QString::fromUtf8(text), systemFont(15, QFont::DemiBold)));
  };

  stack->addWidget(makeLabel(QStringLiteral("Languages"), systemFont(22, QFont::Bold)));
  stack->addWidget(makeWrappingLabel(
      "What this computer translates and recognises now. To add a language, run its command "
      "in a terminal, then refresh languages in the extension.",
      systemFont(13), TextColour::secondary));
  auto* refreshButton = new QPushButton(QStringLiteral("Refresh"));
  QObject::connect(refreshButton, &QPushButton::clicked, this, [this] { refresh(); });
  stack->addWidget(refreshButton, 0, Qt::AlignLeft);

  heading("Translation directions installed");
  stack->addWidget(makeWrappingLabel(lines(readiness.directions, "None yet."), systemFont(13),
                                     TextColour::label));
  heading("Speech models installed");
  stack->addWidget(makeWrappingLabel(lines(readiness.speechModels, "None yet."), systemFont(13),
                                     TextColour::label));
  heading("Packages that add languages");
  if (readiness.offers.empty()) {
    stack->addWidget(makeWrappingLabel(QStringLiteral("Every packaged language is installed."),
                                       systemFont(13), TextColour::secondary));
  }
  for (const PackageOffer& offer : readiness.offers) {
    stack->addWidget(makeWrappingLabel(fromUtf8(offer.adds), systemFont(13), TextColour::label));
    stack->addLayout(commandRow(offer));
  }
  stack->addStretch();
  return content;
}

}  // namespace quelvar
