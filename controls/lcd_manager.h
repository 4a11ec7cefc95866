#pragma once
// What the character LCD shows. Every part of the interface that writes on
// the LCD hands the manager a message of one of four types; the manager keeps
// the latest message of each type, shows a new one at once, and on the
// interface tick (0.05 s, driven by the main screen's timer) times out the
// temporary types, falls back to the last steady message and blinks where the
// type asks for it:
//
//   type 0  default content, steady
//   type 1  value display: 33 ticks, back to the steady message on the 34th
//   type 2  pending choice: shown and blank by turns every 5 ticks, until replaced
//   type 3  notice: steady for 49 ticks, blinking (one blank tick in four)
//           until tick 65, back to the steady message on tick 66
//
// Blinking toggles the display's enabled flag; a disabled display shows
// blank cells but keeps its text. The blink counter is shared by types 2 and
// 3 and never reset by a new message, so the exact blank ticks of a notice
// depend on what blinked before it.
//
// The manager also keeps the indicator flags and forwards them to the
// display's sign operations.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

using LCDMessageType = int64_t;

inline constexpr LCDMessageType kLCDMessageDefault = 0;
inline constexpr LCDMessageType kLCDMessageValue = 1;
inline constexpr LCDMessageType kLCDMessagePendingChoice = 2;
inline constexpr LCDMessageType kLCDMessageNotice = 3;

// What the manager drives; the character LCD view is the one display.
class LCDDisplay {
 public:
  virtual ~LCDDisplay() = default;
  virtual void setTitle(const std::string& title) = 0;
  virtual void setValue(const std::string& value) = 0;
  virtual const std::string& title() const = 0;
  virtual const std::string& value() const = 0;
  virtual void setMessageType(int64_t type) = 0;
  virtual int64_t messageType() const = 0;
  // A disabled display is blank.
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() const = 0;
  // Sign 0 recording, 1 original value, 2 motion recording, 3 current part.
  virtual void setSignOn(int64_t sign, bool on) = 0;
  virtual void setPartSignIndex(int32_t index) = 0;
};

class LCDMessage {
 public:
  // Note the order: the detail (lower row) comes first, then the title.
  static std::shared_ptr<LCDMessage> message(std::string detail, std::string title, LCDMessageType type);

  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const std::string& detail() const { return detail_; }
  void setDetail(std::string d) { detail_ = std::move(d); }
  LCDMessageType type() const { return type_; }
  void setType(LCDMessageType t) { type_ = t; }
  // Kept for the senders; the manager does not read it.
  bool blinkness() const { return blinkness_; }
  void setBlinkness(bool b) { blinkness_ = b; }

 private:
  std::string title_;
  std::string detail_;
  LCDMessageType type_ = 0;
  bool blinkness_ = false;
};

class LCDManager {
 public:
  // The interface tick the main screen drives refreshDisplay() with.
  static constexpr double kTickSeconds = 0.05;
  static constexpr uint64_t kValueTicks = 33;
  static constexpr uint64_t kNoticeSteadyTicks = 49;
  static constexpr uint64_t kNoticeEndTicks = 65;
  static constexpr uint64_t kNoticeBlinkTicks = 4;
  static constexpr uint64_t kChoiceBlinkTicks = 5;

  LCDManager();

  // Shows `message` now. A type outside 0-3 is shown but not kept as the
  // latest of its type (there is no slot for it).
  void appendMessage(const std::shared_ptr<LCDMessage>& message);
  // Writes both rows directly; type, slots and counters stay as they are.
  void display(const std::string& value, const std::string& title);
  // The tick.
  void refreshDisplay();
  // Shows the latest message of the steady type to return to.
  void revertToPreviousDisplay();
  // Toggles the display's enabled flag.
  void doBlink();
  // The type on screen (0 without a display).
  LCDMessageType currentMessageType() const;

  void setRecording(bool on);
  bool isRecording() const { return recording_; }
  void setOriginalValue(bool on);
  bool isOriginalValue() const { return originalValue_; }
  void setShowsCurrentPart(bool on);
  bool showsCurrentPart() const { return showsCurrentPart_; }
  void setCurrentPartIndex(int32_t index);
  int32_t currentPartIndex() const { return currentPartIndex_; }

  void motionRecordingSignOn();
  void motionRecordingSignOff();
  void refreshMotionRecordingSign();
  int64_t motionRecordingCount() const { return motionRecordingCount_; }

  const std::shared_ptr<LCDDisplay>& lcd() const { return lcd_; }
  void setLcd(std::shared_ptr<LCDDisplay> lcd) { lcd_ = std::move(lcd); }

  // The latest message of a type (nullptr outside 0-3).
  std::shared_ptr<LCDMessage> messageOfType(LCDMessageType type) const;
  LCDMessageType previousMessageType() const { return previousMessageType_; }
  uint64_t blinkCounter() const { return blinkCounter_; }
  uint64_t displayDurationCounter() const { return displayDurationCounter_; }

 private:
  void enableLcd();

  uint64_t blinkCounter_ = 0;
  uint64_t displayDurationCounter_ = 0;
  int64_t motionRecordingCount_ = 0;
  LCDMessageType previousMessageType_ = kLCDMessageDefault;
  std::array<std::shared_ptr<LCDMessage>, 4> messages_;
  bool originalValue_ = false;
  bool recording_ = false;
  bool showsCurrentPart_ = true;
  int32_t currentPartIndex_ = 0;
  std::shared_ptr<LCDDisplay> lcd_;
};
