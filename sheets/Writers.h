#pragma once

#include "sheets/SheetWriter.h"

// The writers behind createWriter().
namespace sheets::detail {

std::unique_ptr<Writer> createCsvWriter(const QString &path, const Options &options);
std::unique_ptr<Writer> createXlsxWriter(const QString &path, const Options &options);

} // namespace sheets::detail
