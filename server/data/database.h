// DBMAINOPEN: opens the main tables of the data folder once, loads the control record, the unit
// sets, the lists and the item-code widths into GLOBALVARIABLE, closes the tables again and sets
// the database-opened flag.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "common/event_sink.h"
#include "common/status.h"
#include "server/data/global_variable.h"

namespace kt::data {

// Reads everything a database open loads from `data_folder`. On failure the Status message is
// the operator text of the error box ("Gagal buke file S_STOCK !", "Versi data KT-Akuntansi
// minimum 826 !", ...). Non-fatal problems (a bad unit set, missing fields) go to `sink`.
Result<std::shared_ptr<const DatabaseSnapshot>> LoadDatabase(const std::filesystem::path& data_folder,
                                                             EventSink& sink);

// The whole database open for the configured location: clears the flag, reports any failure as
// an error box, and on success publishes the snapshot and sets the flag. Returns success.
bool DBMAINOPEN(GLOBALVARIABLE& globals, EventSink& sink);

}  // namespace kt::data
