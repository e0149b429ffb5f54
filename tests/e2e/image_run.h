// What the fault tables share: the program run over a drive or disk image,
// an NT drive to put in one, and the bytes they damage it with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "process_run.h"

// H's answer on the NT drive WriteNtTree writes.
extern const char NtAnswer[];

// `size` bytes of a fixed pseudo-random sequence.
std::string Noise(std::size_t size, unsigned seed);

// The little-endian number of `size` bytes at `at`, and a number as such bytes.
std::uint64_t Le(const std::string &bytes, std::uint64_t at, int size);
std::string LeBytes(std::uint64_t value, int size);

// Cuts the file at `path` to `size` bytes (a failed assertion if it cannot).
void CutAt(const std::string &path, std::uint64_t size);

// An NT drive in `dir` (made) whose adapter answers NtAnswer; returns `dir`.
std::string WriteNtTree(const std::string &dir);

struct ImageRun {
    ProcessResult result;
    std::string errors;
};

// Runs `args` over the image, checking that the run ends in time and that
// nothing in `dir` (the image and what it was made from) changes.
ImageRun RunOverImage(const std::string &image, const std::string &dir, const std::vector<std::string> &args,
                      std::vector<std::string> env = {});
