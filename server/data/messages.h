// The operator-facing texts of the settings, data-folder, lookup and unit code, exactly as the
// operators know them. Kept in one place so tests and callers use the same bytes.
#pragma once

#include <string>
#include <string_view>

namespace kt::data::msg {

// ---- Settings dialog ("&Simpan") ----
inline constexpr std::string_view kLocationEmpty = "Lokasi data belum diisi !";
inline constexpr std::string_view kNetworkPathPrefix =
    "Mengakses data sharing secara langsung via Network Resource tidak dibolehkan.Anda mesti "
    "melakukan Mapping Drive terlebih dahulu. ( ";
inline constexpr std::string_view kDataFolderMissingPrefix = "Sistem tidak menemukan Data Folder ! ( ";
inline constexpr std::string_view kLocationClose = " )";
inline constexpr std::string_view kLocationDotComma =
    "Nama folder tidak boleh ada character titik (.) atau koma (,) !";
// Our own: the FOLDER field holds 200 characters and a longer location must not be cut.
inline constexpr std::string_view kLocationTooLongPrefix = "Lokasi data terlalu panjang ! ( maksimal ";
inline constexpr std::string_view kLocationTooLongSuffix = " karakter )";
// Our own: "Command " + name + this + width + kLocationTooLongSuffix.
inline constexpr std::string_view kTemplateTooLongInfix = " terlalu panjang ! ( maksimal ";
inline constexpr std::string_view kPortEmpty = "Port belum diisi! ( 1000 s/d 65535 )";
inline constexpr std::string_view kPortWrong = "Port salah diisi! ( 1000 s/d 65535 )";
inline constexpr std::string_view kComConnEmpty = "Command Connected belum diisi";
inline constexpr std::string_view kComOkEmpty = "Command Scan OK belum diisi";
inline constexpr std::string_view kComFailEmpty = "Command Scan Gagal belum diisi";
inline constexpr std::string_view kRestartTitle = "KT-Vistrand TCP Server";
inline constexpr std::string_view kRestartNotice =
    "Please restart KT-Vistrand TCP Server...\r\nMohon restart KT-Vistrand TCP Server...";

// ---- Database open ----
inline constexpr std::string_view kLocationNotSet = "Lokasi belum diset !";
inline constexpr std::string_view kOpenFailedPrefix = "Gagal buke file ";  // + NAME + " !"
inline constexpr std::string_view kOpenFailedSuffix = " !";
inline constexpr std::string_view kSessionOpenFailedPrefix = "### Gagal buke file ";
// A failed open logged with its cause: "### Gagal buke file S_STOCK ! (.../S_STOCK.G8A: no such
// file)". The cause names the file; error boxes keep the bare operator text.
inline std::string OpenFailedLine(std::string_view table, std::string_view cause) {
  return std::string(kSessionOpenFailedPrefix) + std::string(table) + std::string(kOpenFailedSuffix) + " (" +
         std::string(cause) + ")";
}
inline constexpr std::string_view kVersionTooOld = "Versi data KT-Akuntansi minimum 826 !";
inline constexpr std::string_view kUnknownKontroFieldPrefix = "S_KONTRO.G8A: Nama field tidak diketahui: ";

// ---- Item lookup ----
inline constexpr std::string_view kDatabaseNotOpen = "Database belum dibuka / Lokasi tidak ketemu !";
inline constexpr std::string_view kErrorLinePrefix = "###ERR### : ";
inline constexpr std::string_view kCodeNotFound = ", Kode tidak ketemu !";
inline constexpr std::string_view kNotForRetail = ", Item ini tidak diperbolehkan pada module ini !";
inline constexpr std::string_view kItemInactive = ", Item ini sudah tidak aktif lagi !";
inline constexpr std::string_view kWarehouseInactive = ", Item ini tidak aktif pada Gudang: ";
// Our own: the item table could not be read ("CODE, Gagal baca S_STOCK: " + the driver's reason).
inline constexpr std::string_view kStockReadFailed = ", Gagal baca S_STOCK: ";

// ---- Units ----
inline constexpr std::string_view kBadUnitSet =
    "Pengisian Master File - Satuan salah !\r\nSilahkan revisi kembali...";
inline constexpr std::string_view kConvItemMissing = "Convert Satuan: Item Hilang, Item ID: ";
inline constexpr std::string_view kConvUnitInvalid = "Convert Satuan: Satuan ID Invalid, Item ID: ";
inline constexpr std::string_view kUnknownUnitText = "###";

}  // namespace kt::data::msg
