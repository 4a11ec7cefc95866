#pragma once
// Screens built elsewhere that the main screen opens (settings, export,
// information, ...): each registers an installer here, and every new main
// view controller is handed to all of them before its view loads, so they
// can hook their screens into its menu bar. Without installers the menu bar
// opens nothing.
//
// Main thread only.

#include <functional>
#include <memory>
#include <vector>

class Z31647ViewController;

class Z31647MainScreenServices {
 public:
  using Installer = std::function<void(const std::shared_ptr<Z31647ViewController>& mainViewController)>;

  static std::vector<Installer>& installers() {
    static std::vector<Installer> list;
    return list;
  }
  static void install(const std::shared_ptr<Z31647ViewController>& mainViewController) {
    for (const Installer& i : installers()) i(mainViewController);
  }
};
