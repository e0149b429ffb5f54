// The Windows-made BitLocker volumes as the tests read them: unpacked once
// into the build tree, sparse, and kept (each test's process had spent some
// 10 s on it). A test skips where the shared files are absent, and fails so
// under CI=true.
#pragma once

#include <cstdlib>
#include <string>

#include "real_files.h"

class BitLockerSamples : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!RealFilesHere(DOROVIVI_REAL_BITLOCKER))
            return;
        std::string real = DOROVIVI_REAL_BITLOCKER, kept = DOROVIVI_BITLOCKER_SCRATCH, making = kept + ".$$";
        std::string script = "[ -d " + kept + " ] || { mkdir -p " + making + " && tar xJSf " + real +
                             "/cryptsetup-bitlk-images.tar.xz -C " + making + " && cd " + real +
                             "/dissect.fve && cp *.bek " + making + " && for f in *.gz; do gzip -dc $f | cp "
                             "--sparse=always /dev/stdin " + making + "/${f%.gz}; done && xz -dc win7_partial.bin.xz | "
                             "cp --sparse=always /dev/stdin " + making + "/win7_partial.bin && { mv -T " + making + " " +
                             kept + " 2>/dev/null || rm -rf " + making + "; }; }";
        ASSERT_EQ(std::system(script.c_str()), 0);
        dir = kept;
    }
    void SetUp() override { NEEDS_REAL(!dir.empty(), DOROVIVI_REAL_BITLOCKER); }
    static inline std::string dir;
};
