#include "screens/main_screen_library_host.h"

#include "app/z31647_view_controller.h"
#include "modes/ti_state_mediator.h"
#include "modes/z31647_state.h"

Synth* MainScreenLibraryHost::synth() const {
  auto c = controller_.lock();
  return c ? c->synth() : nullptr;
}

void MainScreenLibraryHost::changePattern(int32_t number) {
  if (auto c = controller_.lock()) c->changePattern(number);
}

void MainScreenLibraryHost::playButWaitUntilCurrentPatternFinished(bool wait) {
  if (auto c = controller_.lock()) c->playButWaitUntilCurrentPatternFinished(wait);
}

void MainScreenLibraryHost::currentModePatternChanged() {
  if (auto c = controller_.lock()) c->stateMediator().currentState()->patternChanged(c.get());
}

int32_t MainScreenLibraryHost::currentStateIndex() const {
  auto c = controller_.lock();
  return c ? static_cast<int32_t>(c->stateMediator().currentStateIndex()) : 0;
}

void MainScreenLibraryHost::changeFunction(int64_t key) {
  if (auto c = controller_.lock()) c->changeFunction(key);
}

void MainScreenLibraryHost::reloadPattern() {
  if (auto c = controller_.lock()) c->reloadPattern();
}

void MainScreenLibraryHost::initializeAllPattern() {
  if (auto c = controller_.lock()) c->initializeAllPattern();
}

bool MainScreenLibraryHost::storeData() {
  auto c = controller_.lock();
  return c && c->storeData();
}
