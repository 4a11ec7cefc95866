#pragma once
// The main view controller as the host of the library's screens (the
// pattern browser and the backup screens): they reach the main screen only
// through this, and the controller's own operations do the work.
//
// Holds the controller weakly: a screen that outlives the main screen (it
// cannot, but a late callback might arrive) finds no engine and changes
// nothing.
//
// Main thread only.

#include <memory>

#include "library/screens/library_screen_host.h"

class Z31647ViewController;

class MainScreenLibraryHost : public LibraryScreenHost {
 public:
  explicit MainScreenLibraryHost(std::weak_ptr<Z31647ViewController> controller)
      : controller_(std::move(controller)) {}

  Synth* synth() const override;
  void changePattern(int32_t number) override;
  void playButWaitUntilCurrentPatternFinished(bool wait) override;
  void currentModePatternChanged() override;
  int32_t currentStateIndex() const override;
  void changeFunction(int64_t key) override;
  void reloadPattern() override;
  void initializeAllPattern() override;
  bool storeData() override;

 private:
  std::weak_ptr<Z31647ViewController> controller_;
};
