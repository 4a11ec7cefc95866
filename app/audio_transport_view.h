#pragma once
// A rounded dark panel for a real-time transport readout, with a soft shadow.
// The main view controller keeps a member for it, but the panel does not
// place one: it is kept as a ready-made backdrop. Main thread only.

#include "platform/ui/view.h"

class AudioTransportView : public platform::View {
 public:
  explicit AudioTransportView(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
  // The panel's outline for a drawn rectangle: inset 18 by 20 points.
  static platform::Rect panelRect(const platform::Rect& rect);
};
