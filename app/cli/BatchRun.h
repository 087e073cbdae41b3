// The batch commands: list the partitions, list a partition's deleted
// files, save some of them. Each returns the process's exit status.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/DiskSource.h"

namespace undelete {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct BatchRequest {
    bool json = false;
    bool verbose = false;
    uint64_t row = 0;
    std::vector<uint64_t> saveIndices;
    bool saveAll = false;
    std::string match;     // glob on the name; empty: every name
    uint64_t minSize = 0;  // bytes
    std::string output;    // a file, a folder, or "-" for standard output
    bool force = false;
    // The deeper scan: free clusters read too, and the rows numbered with
    // the volumes the search finds after the table's.
    bool deep = false;
    // Files recognised by their content listed too; `wholeDisk`: the disk
    // carved as a whole (--scan disk), not a row.
    bool carve = false;
    bool wholeDisk = false;
    // Each printed file's content weighed against its name's kind.
    bool check = false;
};

// Prints an error in the message language: "undelete: " + the formatted
// text. `format` is one of the program's texts, translated here.
void printError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `deep`: the table's rows, then those of the volumes the search finds.
int listPartitions(const DiskSource& context, bool json, bool deep = false);
int scanPartition(const BatchRequest& request, DiskSource context);

}  // namespace undelete
