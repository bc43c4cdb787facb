#include "base/string_table.h"

#include <array>
#include <atomic>
#include <cstddef>

namespace kyvern::base {

namespace {

struct Entry {
    MessageId id;
    const char* english;
    const char* japanese;
};

constexpr std::array kEntries{
    Entry{MessageId::kCouldNotOpenImageFile, "Couldn't open image file",
          "画像ファイルを開けませんでした"},
    Entry{MessageId::kImageLoadFailed, "Image load failed", "画像の読み込みに失敗しました"},
    Entry{MessageId::kImageResolutionTooBig,
          "The resolution of the image is too big (1024x768 max)",
          "画像の解像度が大きすぎます (最大 1024x768)"},
    Entry{MessageId::kImageMustBe8Bit, "Image must be 8-bit color",
          "画像は 8 ビットカラーでなければなりません"},
    Entry{MessageId::kCouldNotCreateImageFile, "Couldn't create the image file",
          "画像ファイルを作成できませんでした"},
    Entry{MessageId::kInvalidClubLoft, "Invalid ClubLoft in Kyvern.ini",
          "Kyvern.ini の ClubLoft が無効です"},
    Entry{MessageId::kInvalidClubMass, "Invalid ClubMass in Kyvern.ini",
          "Kyvern.ini の ClubMass が無効です"},
    Entry{MessageId::kAnalysisTerminated, "Analysis terminated: %s", "解析を中止しました: %s"},
    Entry{MessageId::kAnalysisComplete, "Analysis complete: %.3f", "解析完了: %.3f"},
    Entry{MessageId::kAnalysisWarning, "Warning: %s", "警告: %s"},
    Entry{MessageId::kCouldNotOpenTrajectoryFile, "Couldn't open the flightKyvern.txt file",
          "flightKyvern.txt ファイルを開けませんでした"},
    Entry{MessageId::kCouldNotOpenPort, "Couldn't open COM%d, code = %08X",
          "COM%d を開けませんでした。コード = %08X"},
    Entry{MessageId::kGetCommStateFailed, "GetCommState failed, code = %08X",
          "GetCommState に失敗しました。コード = %08X"},
    Entry{MessageId::kSetCommStateFailed, "SetCommState failed, code = %08X",
          "SetCommState に失敗しました。コード = %08X"},
    Entry{MessageId::kEscapeCommFailed, "EscapeCommFunction failed, code = %08X",
          "EscapeCommFunction に失敗しました。コード = %08X"},
    Entry{MessageId::kColumnItem, "Item", "アイテム"},
    Entry{MessageId::kColumnShot, "Shot", "ショット"},
    Entry{MessageId::kColumnPlot, "Plot", "プロット"},
    Entry{MessageId::kColumnGroupScore, "Group Score", "グループスコア"},
    Entry{MessageId::kColumnShotScore, "Shot Score", "ショットスコア"},
    Entry{MessageId::kColumnBallSpeed, "Ball Speed", "ボール速度"},
    Entry{MessageId::kColumnLaunchAngle, "Launch Angle", "打ち出し角"},
    Entry{MessageId::kColumnTotalSpin, "Total Spin", "総スピン"},
    Entry{MessageId::kColumnBackSpin, "Back Spin", "バックスピン"},
    Entry{MessageId::kColumnSideSpin, "Side Spin", "サイドスピン"},
    Entry{MessageId::kColumnSideAngle, "Side Angle", "左右角"},
    Entry{MessageId::kColumnClubSpeed, "Club Speed", "クラブ速度"},
    Entry{MessageId::kColumnCarry, "Carry", "キャリー"},
    Entry{MessageId::kColumnOffline, "Offline", "横ずれ"},
    Entry{MessageId::kColumnFlightTime, "Flight Time", "飛行時間"},
    Entry{MessageId::kColumnTotal, "Total", "トータル"},
    Entry{MessageId::kColumnMaxHeight, "Max Height", "最高到達点"},
    Entry{MessageId::kColumnSession, "Session", "セッション"},
    Entry{MessageId::kColumnUser, "User", "ユーザー"},
    Entry{MessageId::kColumnUnits, "Units", "単位"},
    Entry{MessageId::kColumnWhen, "When", "日時"},
    Entry{MessageId::kColumnAngleOfAttack, "Angle of Attack", "入射角"},
    Entry{MessageId::kColumnPathAngle, "Path Angle", "軌道角"},
    Entry{MessageId::kColumnFaceAngle, "Face Angle", "フェース角"},
    Entry{MessageId::kColumnEffectiveLoft, "Effective Loft", "有効ロフト"},
    Entry{MessageId::kColumnClubMass, "Club Mass", "クラブ質量"},
    Entry{MessageId::kColumnClubLoft, "Club Loft", "クラブロフト"},
    Entry{MessageId::kColumnGroupCount, "Group Count", "グループ内ショット数"},
    Entry{MessageId::kDeleteRecordsQuestion,
          "Are you sure you want to delete the selected records?",
          "選択したレコードを削除してもよろしいですか?"},
    Entry{MessageId::kDeleteSessionQuestion, "Are you sure you want to delete the current session?",
          "現在のセッションを削除してもよろしいですか?"},
    Entry{MessageId::kCouldNotCreateDataFile, "Couldn't create the data file",
          "データファイルを作成できませんでした"},
    Entry{MessageId::kCannotOpenFile, "Can't open file", "ファイルを開けません"},
    Entry{MessageId::kCouldNotOpenShotLog, "Couldn't open the logKyvern.txt file",
          "logKyvern.txt ファイルを開けませんでした"},
    Entry{MessageId::kNoCamerasDetected, "No Kyverns were detected\n\nCheck IEEE1394 interface",
          "Kyvern が検出されませんでした\n\nIEEE1394 インターフェイスを確認してください"},
    Entry{MessageId::kNoTriggerMode, "Warning: this Kyvern does not have a trigger mode",
          "警告: この Kyvern にはトリガーモードがありません"},
    Entry{MessageId::kInvalidBallSpeed, "Invalid Ball Speed value", "ボール速度の値が無効です"},
    Entry{MessageId::kInvalidLaunchAngle, "Invalid Launch Angle value", "打ち出し角の値が無効です"},
    Entry{MessageId::kInvalidSideAngle, "Invalid Side Angle value", "左右角の値が無効です"},
    Entry{MessageId::kInvalidBackSpin, "Invalid BackSpin value", "バックスピンの値が無効です"},
    Entry{MessageId::kInvalidSideSpin, "Invalid Sidespin value", "サイドスピンの値が無効です"},
};

static_assert(kEntries.size() == static_cast<std::size_t>(MessageId::kCount),
              "every message needs an entry");

constexpr bool InOrder() {
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        if (static_cast<std::size_t>(kEntries[i].id) != i) return false;
    }
    return true;
}
static_assert(InOrder(), "entries are listed in identifier order");

std::atomic<Language> gLanguage{Language::kEnglish};

}  // namespace

std::string_view Text(MessageId id, Language language) {
    auto index = static_cast<std::size_t>(id);
    if (index >= kEntries.size()) return {};
    return language == Language::kJapanese ? kEntries[index].japanese : kEntries[index].english;
}

std::string_view Text(MessageId id) { return Text(id, CurrentLanguage()); }

void SetLanguage(Language language) { gLanguage.store(language); }
Language CurrentLanguage() { return gLanguage.load(); }

}  // namespace kyvern::base
