#include "tool/firmware/firmware_messages.h"

namespace kt::firmware {

MessageBox NoFileSelectedBox() { return {"Please enter a file to load", "No file selected", BoxIcon::kStop}; }

MessageBox CannotOpenFileBox() {
  return {"Could not open file\nBe sure file exists and try again", "File error", BoxIcon::kStop};
}

MessageBox ErrorOpeningFileBox(const std::string& path) {
  return {"Error opening file: " + path + "\n" + "Please be sure the file exists...", "Fatal Error",
          BoxIcon::kNone};
}

MessageBox ImageTooShortBox(const std::string& path) {
  return {"The file " + path + "\nis too short to be a firmware file.\n\nPlease select another firmware file.",
          "Fatal Error", BoxIcon::kNone};
}

MessageBox UnknownDeviceBox() {
  return {std::string("Something went wrong here.\n") + "Please do a 'scan' again\n\n", "Unknown Device",
          BoxIcon::kExclamation};
}

MessageBox FlashSizeIncompatibleBox() {
  return {"The selected file is not compatible with the flash memory\nof this KX25.\n\n"
          "Please select another firmware file.\n\n",
          "Flash size incompatibility", BoxIcon::kExclamation};
}

}  // namespace kt::firmware
