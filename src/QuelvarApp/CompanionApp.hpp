// The companion application: one window that connects the Chrome extension to the two hosts.
#pragma once

#include <QString>

#include <memory>
#include <optional>

#include "BrowserRegistration.hpp"
#include "ConnectionFlow.hpp"
#include "WindowStyle.hpp"

class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QSystemTrayIcon;
class QVBoxLayout;

namespace quelvar {

class LanguagesWindow;

class CompanionApp {
 public:
  CompanionApp(BrowserRegistration registration, QString name, std::optional<QString> builtInID);
  ~CompanionApp();
  CompanionApp(const CompanionApp&) = delete;
  CompanionApp& operator=(const CompanionApp&) = delete;

  // Builds the application and runs its event loop; returns the exit status. Empty build values
  // mean absent: the name is then "Quelvar" and there is no built-in extension ID.
  static int main(int argc, char** argv, const char* displayName, const char* chromeExtensionID);

  // Builds menu and window, shows the status and connects automatically where the build says so.
  void applicationDidFinishLaunching();
  // Brings the window back when it is hidden.
  void applicationShouldHandleReopen();

  void connect();
  void disconnect();
  void refreshStatus();
  void openLanguages();

  const QString& name() const { return name_; }
  const std::optional<QString>& builtInID() const { return builtInID_; }

 private:
  void buildMenu();
  void buildContent();
  void buildTray();
  void connectAutomatically();
  void addText(const QString& text, QVBoxLayout& stack, bool secondary);
  void showNotice(const QString& text, bool error);
  // Stores the outcome's settings, then shows its notice.
  void apply(const Outcome& outcome);

  BrowserRegistration registration_;
  QString name_;
  ConnectionFlow flow_;
  std::optional<QString> builtInID_;
  std::unique_ptr<QMainWindow> window_;
  // Owned by the window's content once it is built.
  QLineEdit* extensionField_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* connectedBrowsers_ = nullptr;
  QLabel* notice_ = nullptr;
  QPushButton* connectButton_ = nullptr;
  QPushButton* disconnectButton_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  std::unique_ptr<LanguagesWindow> languagesWindow_;
};

}  // namespace quelvar
