// The app's own languages window: what is installed, and the commands that install more.
#pragma once

#include <QDialog>

#include <functional>

#include "LanguageReadiness.hpp"

class QScrollArea;

namespace quelvar {

// A dialog of its own, not modal: the main window stays usable while it is open.
class LanguagesWindow : public QDialog {
 public:
  // `read` is asked again each time the window is shown or refreshed: packages may have been
  // installed in between.
  explicit LanguagesWindow(std::function<LanguageReadiness()> read);

  // Reads the languages again and brings the window to the front.
  void open();

 private:
  void refresh();
  QWidget* buildContent(const LanguageReadiness& readiness);

  std::function<LanguageReadiness()> read_;
  QScrollArea* scroll_;
};

}  // namespace quelvar
