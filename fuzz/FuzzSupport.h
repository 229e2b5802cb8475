#pragma once

#include "TestFile.h"

#include <QByteArrayView>
#include <QString>

namespace vigix::fuzz {

// The data folder of this fuzzing process: a fresh owner-only folder under TMPDIR (or /tmp), made at the first
// call and removed when the process exits normally. The path ends in the separator, as data folders do.
const QString &DataFolder();

// Removes everything inside the folder, hidden entries included, so that no input sees what an earlier one left.
void EmptyFolder(const QString &folder);

// A real folder, owner-only (0700), as the recovery code expects its folder to be.
void MakeOwnerOnlyFolder(const QString &path);

// A new file holding exactly the bytes, owner-only (0600), as the program writes patient data.
void WriteOwnerOnlyFile(const QString &path, QByteArrayView bytes);

// Whether a round read back from a file written by TTestFile is exactly the round that was written. (The writer
// refuses control codes, which code page 932 as ICU has it would not give back as they were.)
bool SameRoundReadBack(const TRoundInfo &written, const TRoundInfo &readBack);

// Stops the process on a broken invariant so that libFuzzer keeps the input; names the invariant first.
[[noreturn]] void Fail(const char *invariant, const char *file, int line);

} // namespace vigix::fuzz

// Checked in every build type: the fuzz targets are RelWithDebInfo, where assert is gone.
#define FUZZ_CHECK(condition) ((condition) ? void() : ::vigix::fuzz::Fail(#condition, __FILE__, __LINE__))
