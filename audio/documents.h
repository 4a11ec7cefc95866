#pragma once
// The documents folder: where bounced and recorded WAV files go, the folder
// the user reaches from outside the program.
//
// $IGROOVEBIX_HOME when set, else $XDG_DATA_HOME/igroovebix/Documents (with
// ~/.local/share for an unset or relative $XDG_DATA_HOME). Thread-safe.

#include <filesystem>
#include <string>

namespace audio {

std::filesystem::path documentsDirectory();
// The documents folder with `name` appended as a path component.
std::filesystem::path documentsPathForFileName(const std::string& name);

}  // namespace audio
