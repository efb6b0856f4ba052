// The companion app's flow: launch, automatic connection, connect, disconnect, status and notices.
#include "CompanionApp.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>

#include <cstdlib>

#include "AppIcon.hpp"
#include "LanguagesWindow.hpp"

namespace quelvar {
namespace {

const QString chromeExtensionIDKey = QStringLiteral("chromeExtensionID");
const QString automaticConnectionDisabledKey = QStringLiteral("automaticConnectionDisabled");

}  // namespace

CompanionApp::CompanionApp(BrowserRegistration registration, QString name,
                           std::optional<QString> builtInID)
    : registration_(std::move(registration)),
      name_(std::move(name)),
      flow_(registration_, name_.toStdString()),
      builtInID_(std::move(builtInID)),
      window_(std::make_unique<QMainWindow>()) {
  auto* content = new QWidget;
  window_->setCentralWidget(content);
  extensionField_ = new QLineEdit(content);
  status_ = new QLabel(content);
  connectedBrowsers_ = new QLabel(content);
  notice_ = new QLabel(content);
}

CompanionApp::~CompanionApp() = default;

int CompanionApp::main(int argc, char** argv, const char* displayName,
                       const char* chromeExtensionID) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Quelvar"));
  QApplication::setApplicationName(QStringLiteral("Quelvar"));
  QApplication::setApplicationVersion(QStringLiteral(QUELVAR_VERSION));
  QApplication::setDesktopFileName(QStringLiteral(QUELVAR_DESKTOP_ID));
  const QString name =
      *displayName != '\0' ? QString::fromUtf8(displayName) : QStringLiteral("Quelvar");
  QApplication::setApplicationDisplayName(name);
  QApplication::setWindowIcon(appIcon());
  std::optional<QString> builtInID;
  if (*chromeExtensionID != '\0') {
    builtInID = QString::fromUtf8(chromeExtensionID);
  }
  const std::filesystem::path home = QFile::encodeName(QDir::homePath()).toStdString();
  CompanionApp app(
      BrowserRegistration(BrowserRegistration::runningBundle(), home,
                          BrowserRegistration::configFolder(home, std::getenv("XDG_CONFIG_HOME"))),
      name, builtInID);
  app.applicationDidFinishLaunching();
  return QApplication::exec();
}

void CompanionApp::applicationDidFinishLaunching() {
  const QVariant storedID = QSettings().value(chromeExtensionIDKey);
  extensionField_->setText(builtInID_                                ? *builtInID_
                           : storedID.typeId() == QMetaType::QString ? storedID.toString()
                                                                     : QString());
  buildMenu();
  buildContent();
  window_->setWindowTitle(name_);
  window_->layout()->setSizeConstraint(QLayout::SetFixedSize);
  buildTray();
  refreshStatus();
  window_->adjustSize();
  if (const QScreen* screen = window_->screen()) {
    window_->move(screen->availableGeometry().center() - window_->rect().center());
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
  connectAutomatically();
}

void CompanionApp::buildTray() {
  // Without a tray there would be no way back to a closed window, so closing it quits instead.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    QApplication::setQuitOnLastWindowClosed(true);
    return;
  }
  QApplication::setQuitOnLastWindowClosed(false);
  tray_ = new QSystemTrayIcon(QApplication::windowIcon(), window_.get());
  tray_->setToolTip(name_);
  auto* menu = new QMenu(window_.get());
  QObject::connect(menu->addAction(literalTitle("Open " + name_)), &QAction::triggered,
                   window_.get(), [this] { applicationShouldHandleReopen(); });
  QObject::connect(menu->addAction(literalTitle("Quit " + name_)), &QAction::triggered, qApp,
                   &QApplication::quit);
  tray_->setContextMenu(menu);
  QObject::connect(
      tray_, &QSystemTrayIcon::activated, window_.get(),
      [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
          applicationShouldHandleReopen();
        }
      });
  tray_->show();
}

void CompanionApp::applicationShouldHandleReopen() {
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void CompanionApp::connectAutomatically() {
  std::optional<std::string> builtInID;
  if (builtInID_) {
    builtInID = builtInID_->toStdString();
  }
  apply(flow_.connectAutomatically(
      builtInID, QSettings().value(automaticConnectionDisabledKey, false).toBool()));
}

void CompanionApp::connect() {
  apply(flow_.connect(extensionField_->text().toStdString()));
}

void CompanionApp::disconnect() {
  apply(flow_.disconnect());
}

void CompanionApp::apply(const Outcome& outcome) {
  const SettingsChange& change = outcome.settings;
  if (change.chromeExtensionID || change.automaticConnectionDisabled) {
    QSettings settings;
    if (change.chromeExtensionID) {
      settings.setValue(chromeExtensionIDKey, QString::fromStdString(*change.chromeExtensionID));
    }
    if (change.automaticConnectionDisabled) {
      settings.setValue(automaticConnectionDisabledKey, *change.automaticConnectionDisabled);
    }
    settings.sync();
  }
  if (outcome.notice) {
    showNotice(QString::fromStdString(outcome.notice->text), outcome.notice->error);
  }
}

void CompanionApp::refreshStatus() {
  const ConnectionStatus status = flow_.status(extensionField_->text().toStdString());
  status_->setText(QString::fromStdString(status.text));
  setTextColour(*status_, status.configured ? TextColour::green : TextColour::label);
  connectButton_->setText(QString::fromStdString(status.connectTitle));
  disconnectButton_->setEnabled(status.configured);
  connectedBrowsers_->setText(QString::fromStdString(status.connectedLine));
  connectedBrowsers_->setVisible(!status.connectedLine.empty());
}

void CompanionApp::openLanguages() {
  if (!languagesWindow_) {
    languagesWindow_ = std::make_unique<LanguagesWindow>(currentLanguageReadiness);
  }
  languagesWindow_->open();
}

void CompanionApp::showNotice(const QString& text, bool error) {
  notice_->setText(text);
  setTextColour(*notice_, error ? TextColour::red : TextColour::secondary);
  notice_->show();
  refreshStatus();
}

}  // namespace quelvar
