// Feeds arbitrary bytes to the "errors.dat" reader and to both reports made
// from what it read, and checks that what is read survives a rewrite.
#include "errors/errorfile.h"
#include "errors/sessionreport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TallyTable rows{};
    const int count = errors::parseErrorFile(text, rows);
    if (count < 0 || count > errors::kErrorFileNumbers)
        std::abort();

    TallyTable again{};
    if (errors::parseErrorFile(errors::formatErrorFile(rows), again) != errors::kErrorFileNumbers ||
        again != rows)
        std::abort();

    (void)errors::sessionReportLines(rows, errors::standardIntervalNames());
    (void)errors::cumulativeProfileLines(rows, errors::standardIntervalNames(), ",");
    errors::addTallies(again, rows);
    return 0;
}
