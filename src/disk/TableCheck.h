#pragma once
// Checks, at open, that the allocation tables of a sparse container point inside the file: a
// truncated image would otherwise open and read its lost part as zeros.
#include <cstdint>
#include <string>

namespace quarvell {

// Returns an empty string when every table and every allocated block of the QCOW2 image at path
// lies within the file, else what is wrong. QCOW version 1 images are left to the library.
std::string checkQcowTables(const std::string& path);
// The same for a sparse VMDK extent (one starting with "KDMV"); other VMDK kinds pass.
std::string checkVmdkSparseTables(const std::string& path);

}  // namespace quarvell
