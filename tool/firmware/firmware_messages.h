// The fixed texts of firmware upload: the dialog, the checks before an upload, the status lines
// and the message box of each upload result. Windows and kx25ctl show them as they stand.
#pragma once

#include <string>

namespace kt::firmware {

enum class BoxIcon { kNone, kStop, kExclamation, kInformation };

struct MessageBox {
  std::string text;
  std::string caption;
  BoxIcon icon = BoxIcon::kNone;
};

// The firmware dialog.
inline constexpr const char* kDialogTitle = "Firmware Upgrade";
inline constexpr const char* kFileLabel = "Firmware File:";
inline constexpr const char* kBrowseTitle = "Browse for firmware file (BIN)";
inline constexpr const char* kBrowseFilter = "BIN files (*.bin)|*.bin||";
inline constexpr const char* kBrowseDefaultExtension = ".bin";
MessageBox NoFileSelectedBox();       // "Please enter a file to load"
MessageBox CannotOpenFileBox();       // "Could not open file\nBe sure file exists and try again"

// The checks before an upload.
MessageBox ErrorOpeningFileBox(const std::string& path);  // "Error opening file: " + path ...
MessageBox ImageTooShortBox(const std::string& path);     // a file too short to be an image
MessageBox UnknownDeviceBox();                            // terminal not in the device table
MessageBox FlashSizeIncompatibleBox();
inline constexpr const char* kNoTargetText = "Error";     // no line focused in the device list

// While uploading.
inline constexpr const char* kStatusUploading = "Status: Uploading firmware";
// Caption of the box with the system's text when the TFTP client cannot be started.
inline constexpr const char* kStartFailedCaption = "An error has occurred...";

}  // namespace kt::firmware
