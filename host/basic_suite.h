// The host's basic suite: the one table a plug-in is handed, through which it acquires every other suite
// by name and version. Acquisitions and releases are counted in the active host state; a withheld suite
// and an unknown (name, version) both answer kSPSuiteNotFoundError with a null table.
#pragma once

#include <string>
#include <vector>

#include "sdk/SPBasic.h"

namespace zephrin::host {

const SPBasicSuite* basicSuite();

// Suite tables are filled slot by slot, so a function the SDK declarations gain before the host implements
// it stays null rather than breaking the build; the suite tests check that no offered slot is null.
struct OfferedSuite {
    const char* name;
    A_long version;
    const void* table;
    size_t size;  // bytes of the table: its function pointers, in order
};

// Every (name, version) the host offers, whether or not a test has withheld it.
const std::vector<OfferedSuite>& offeredSuites();

// The table for (name, version), or null when the host offers none.
const void* findSuiteTable(const std::string& name, A_long version);

}  // namespace zephrin::host
