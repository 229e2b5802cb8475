#pragma once

#include "OneBasedArray.h"
#include "TestInfo.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>

class QIODevice;

namespace vigix {

class TRandom;

// One round: the stimulus shown, its noise, its length in ticks and up to ten recorded responses.
struct TRoundInfo
{
    static constexpr int Slots = 10;

    QString Target;                   // "T" circle (target), "N" cross (non-target)
    QString Noise;                    // "N" none, "A" tone, "V" triangle
    int NoiseNo = 0;                  // tone or cell 1..8; 0 without noise
    int Ticks = 0;                    // the round ends on step Ticks, so it lasts Ticks + 1 ticks
    OneBasedArray<int, Slots> RT;     // reaction times in ms from onset; 0 = empty slot
    OneBasedArray<int, Slots> Button; // 1 left, 2 right, 3 middle; 0 = empty slot

    bool operator==(const TRoundInfo &other) const = default;
};

// Result conditions: the rows of Count and the index of MeanRT, SDRT and HitRT.
enum TCondition : int { condT = 0, condN = 1, condA = 2, condV = 3 };
constexpr int ConditionCount = 4;

// Result kinds: the columns of Count; kinds 1..6 are what a round's judgement may hold.
enum TResultKind : int { Total = 0, Hit = 1, CorrectReject = 2, E_COM = 3, E_OMI = 4, E_MUL = 5, E_INV = 6 };
constexpr int ResultKindCount = 7;

struct TCulcResult
{
    std::array<std::array<int, ResultKindCount>, ConditionCount> Count{};
    std::array<double, ConditionCount> MeanRT{};     // -1 without hits
    std::array<double, ConditionCount> SDRT{};       // -1 with fewer than two hits
    std::array<QList<double>, ConditionCount> HitRT; // hit reaction times in round order
};

// Everything about one test: subject record, rounds, the number of rounds in use, and the scores.
class TTestFile
{
public:
    static constexpr int MaxRounds = 510;
    static constexpr int PracticeRounds = 30;
    static constexpr int TestRounds = 500;

    TTestInfo Info;
    OneBasedArray<TRoundInfo, MaxRounds> Rounds;
    int RoundCount = 0; // rounds 1..RoundCount are the test; the rest are ignored by writer and scoring
    TCulcResult CulcResult;

    // Test file of the given number in the data folder: folder + number + ".txt".
    // Raises EConvertError for a number that is no file name of its own (a path separator, or too long).
    static QString TestFilePath(const QString &dataFolder, const QString &number);
    static bool IsFileNameNumber(const QString &number);
    // The path of a file in the data folder (with or without its closing separator).
    static QString DataFolderFile(const QString &dataFolder, const QString &fileName);

    // Reads line 1 of the test file into Info. Raises EInOutError when the file cannot be read.
    void ReadInfo(const QString &dataFolder, const QString &number);
    // ReadInfo, then every round line into Rounds from 1, and sets RoundCount.
    // Raises EInOutError, or EConvertError for a damaged round line (RoundCount then keeps its value).
    void ReadFile(const QString &dataFolder, const QString &number);
    // Writes Info and rounds 1..RoundCount to the test file, replacing it only once the new file is whole.
    // Raises EConvertError (naming the field) for text the file cannot hold, EInOutError when writing fails.
    void WriteFile(const QString &dataFolder, const QString &number) const;

    // The same operations on a file given by its path.
    void ReadInfoFromPath(const QString &path);
    void ReadFileFromPath(const QString &path);
    void WriteFileToPath(const QString &path) const;
    // The same on a file's bytes, read by the caller; path names the file in messages.
    void ReadInfoFromBytes(QByteArrayView bytes);
    void ReadFileFromBytes(const QByteArray &bytes, const QString &path);

    // Whether bytes can be a test file at all, before anything is read from them: not empty, no control code
    // other than CR and LF (no writer of a test stores one; a binary file is full of them), and a first line
    // that begins with a test number and a comma, the subject record. A test of the subject line alone passes.
    // Raises EConvertError naming path and what is wrong.
    static void CheckIsTestFile(QByteArrayView bytes, const QString &path);
    // ReadFileFromPath for a file that may be anything: CheckIsTestFile first, on the same bytes.
    void ReadCheckedFileFromPath(const QString &path);

    // The file's bytes: Shift-JIS, CR LF line ends. Raises EConvertError (naming path and field) for a text
    // field holding ",", a double quote, CR, LF or a character code page 932 cannot hold.
    QByteArray Encode(const QString &path) const;
    // Writes the file's bytes to a device; raises EInOutError naming path when the device fails.
    void WriteTo(QIODevice &device, const QString &path) const;

    // One line of the file on its own, without its line end, exactly as Encode and the readers have it.
    // EncodeRoundLine raises EConvertError (naming path and round) like Encode; DecodeRoundLine raises
    // EConvertError (naming path and line) for a damaged line.
    static QByteArray EncodeRoundLine(const TRoundInfo &round, int roundNo, const QString &path);
    static TRoundInfo DecodeRoundLine(QByteArrayView line, const QString &path, int lineNo);
    static TTestInfo DecodeInfoLine(QByteArrayView line);

    // Scoring: recomputes all of CulcResult from rounds 1..RoundCount.
    void Culc();

    // Schedules: fill rounds 1..30 or 1..500 with a shuffled schedule and empty response slots.
    void MakePracticeRounds(TRandom &random);
    void MakeTestRounds(TRandom &random);
};

} // namespace vigix
