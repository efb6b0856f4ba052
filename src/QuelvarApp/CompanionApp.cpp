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

const char* const readyNotice =
    "You’re ready. You can quit this app. Translation works from Chrome, including after "
    "restarting your computer. Open the extension on a video tab to start.";
const char* const removedNotice =
    "Browser registration removed. Stop any current translation in the extension.";

}  // namespace

CompanionApp::CompanionApp(BrowserRegistration registration, QString name,
                           std::optional<QString> builtInID)
    : registration_(std::move(registration)),
      name_(std::move(name)),
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
  if (!builtInID_ || QSettings().value(automaticConnectionDisabledKey, false).toBool()) {
    return;
  }
  if (!registration_.installedInApplications()) {
    showNotice(QString::fromStdString(make_error_code(RegistrationError::notInstalled).message()),
               true);
    return;
  }
  const std::string id = builtInID_->toStdString();
  if (!registration_.configured(id)) {
    if (const auto failure = registration_.registerExtension(id)) {
      showNotice(QString::fromStdString(failure->description()), true);
      return;
    }
  }
  showNotice(QString::fromUtf8(readyNotice), false);
}

void CompanionApp::connect() {
  if (!registration_.installedInApplications()) {
    showNotice("Install " + name_ + ", open the installed copy, then connect the extension.", true);
    return;
  }
  const QString id = extensionField_->text();
  if (const auto failure = registration_.registerExtension(id.toStdString())) {
    showNotice(QString::fromStdString(failure->description()), true);
    return;
  }
  QSettings settings;
  settings.setValue(chromeExtensionIDKey, id);
  settings.setValue(automaticConnectionDisabledKey, false);
  settings.sync();
  showNotice(QString::fromUtf8(readyNotice), false);
}

void CompanionApp::disconnect() {
  if (const auto failure = registration_.disconnect()) {
    showNotice(QString::fromStdString(failure->description()), true);
    return;
  }
  QSettings settings;
  settings.setValue(automaticConnectionDisabledKey, true);
  settings.sync();
  showNotice(QString::fromUtf8(removedNotice), false);
}

void CompanionApp::refreshStatus() {
  const bool configured = registration_.configured(extensionField_->text().toStdString());
  status_->setText(configured ? QStringLiteral("Chrome connection configured")
                              : QStringLiteral("Connect the Chrome extension"));
  setTextColour(*status_, configured ? TextColour::green : TextColour::label);
  connectButton_->setText(configured ? QStringLiteral("Reconnect extension")
                                     : QStringLiteral("Connect extension"));
  disconnectButton_->setEnabled(configured);

  QStringList browsers;
  for (const std::string_view name :
       registration_.connectedBrowsers(extensionField_->text().toStdString())) {
    browsers << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  }
  connectedBrowsers_->setText("Connected in " + browsers.join(QStringLiteral(", ")));
  connectedBrowsers_->setVisible(!browsers.isEmpty());
}

void CompanionApp::openLanguages() {
  if (!languagesWindow_) {
    languagesWindow_ = std::make_unique<LanguagesWindow>(name_, currentLanguageReadiness);
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
