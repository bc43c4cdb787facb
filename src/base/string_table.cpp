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
    Entry{MessageId::kLabelImage, "&Image", "画像(&I)"},
    Entry{MessageId::kLabelImpact, "Impa&ct", "インパクト(&C)"},
    Entry{MessageId::kLabelProfile, "Profi&le", "弾道(&L)"},
    Entry{MessageId::kLabelShots, "Sho&ts", "ショット(&T)"},
    Entry{MessageId::kLabelDownRange, "Down Range", "ダウンレンジ"},
    Entry{MessageId::kLabelDeleteLastShot, "Delete Last Shot", "最終ショット削除"},
    Entry{MessageId::kLabelAnalysis, "&Analysis", "解析(&A)"},
    Entry{MessageId::kLabelPlayer, "Player:", "プレーヤー:"},
    Entry{MessageId::kLabelSession, "Session:", "セッション:"},
    Entry{MessageId::kLabelItem, "Item:", "アイテム:"},
    Entry{MessageId::kLabelFast, "&Fast", "高速(&F)"},
    Entry{MessageId::kLabelMedium, "Me&dium", "中速(&D)"},
    Entry{MessageId::kLabelSlow, "Slo&w", "低速(&W)"},
    Entry{MessageId::kLabelSuperSlow, "Sup&er Slow", "超低速(&E)"},
    Entry{MessageId::kLabelBrightness, "Brightness", "明るさ"},
    Entry{MessageId::kLabelNormal, "Normal", "標準"},
    Entry{MessageId::kLabelAdvanced, "Ad&vanced", "詳細設定(&V)"},
    Entry{MessageId::kLabelMarks, "Mar&ks", "マーク(&K)"},
    Entry{MessageId::kLabelMono, "&Mono", "白黒(&M)"},
    Entry{MessageId::kLabelPlane, "&Plane", "平面(&P)"},
    Entry{MessageId::kLabelGrid, "&Grid", "グリッド(&G)"},
    Entry{MessageId::kLabelReports, "&Reports", "レポート(&R)"},
    Entry{MessageId::kLabelOpenImage, "&Open Image", "画像を開く(&O)"},
    Entry{MessageId::kLabelSaveImage, "&Save Image", "画像を保存(&S)"},
    Entry{MessageId::kLabelProgramLauncher, "Program Launcher", "プログラムランチャー"},
    Entry{MessageId::kLabelHelp, "Help", "ヘルプ"},
    Entry{MessageId::kLabelFile, "File:", "ファイル:"},
    Entry{MessageId::kLabelSaveSession, "Save Session", "セッションを保存"},
    Entry{MessageId::kLabelNewSession, "New Session", "新規セッション"},
    Entry{MessageId::kLabelLoadSession, "Load Session", "セッションを読み込む"},
    Entry{MessageId::kLabelDeleteRecord, "Delete Record", "レコード削除"},
    Entry{MessageId::kLabelSettings, "Settings", "設定"},
    Entry{MessageId::kLabelExit, "E&xit", "終了(&X)"},
    Entry{MessageId::kLabelHelpMenu, "&Help", "ヘルプ(&H)"},
    Entry{MessageId::kLabelAbout, "&About Kyvern...", "Kyvern について(&A)..."},
    Entry{MessageId::kLabelSuspendRemote, "Suspend remote captures (Caps Lock)",
          "リモートキャプチャを停止 (Caps Lock)"},
    Entry{MessageId::kPanelBall, "Ball", "ボール"},
    Entry{MessageId::kPanelClub, "Club", "クラブ"},
    Entry{MessageId::kPanelFlight, "Flight", "飛行"},
    Entry{MessageId::kPixelReadout, "x %d  y %d  level %d", "x %d  y %d  レベル %d"},
    Entry{MessageId::kColourDepthWarning,
          "Your Color Settings must be set to True Color (32 bit)!\n\n1) Right-click on your "
          "desktop and select Properties\n2) Select the Settings tab\n3) Select True Color (32 "
          "bit) and hit OK",
          "画面の色設定を True Color (32 ビット) にしてください。\n\n1) "
          "デスクトップを右クリックしてプロパティを選択します\n2) 設定タブを選択します\n3) True "
          "Color (32 ビット) を選択して OK を押します"},
    Entry{MessageId::kAboutTitle, "About Kyvern", "Kyvern について"},
    Entry{MessageId::kImageFilesFilter, "Image Files (*.bmp)", "画像ファイル (*.bmp)"},
    Entry{MessageId::kTextFilesFilter, "Text Files (*.txt)", "テキストファイル (*.txt)"},
    Entry{MessageId::kAllFilesFilter, "All Files (*)", "すべてのファイル (*)"},
    Entry{MessageId::kSessionLoaded, "Loaded %d shots, skipped %d lines",
          "%d 件のショットを読み込み、%d 行をスキップしました"},
    Entry{MessageId::kCouldNotWriteSettings, "Couldn't write the settings file",
          "設定ファイルに書き込めませんでした"},
    Entry{MessageId::kFocusMode, "Focus Mode - see Advanced Settings",
          "フォーカスモード - 詳細設定を参照"},
    Entry{MessageId::kCsvExported, "%d shots exported to %s",
          "%d 件のショットを %s に書き出しました"},
    Entry{MessageId::kCouldNotCreateCsvFile, "Couldn't create the CSV file",
          "CSV ファイルを作成できませんでした"},
    Entry{MessageId::kSettingsTitle, "Advanced Settings", "詳細設定"},
    Entry{MessageId::kSettingsPageDisplay, "Player and Display", "プレーヤーと表示"},
    Entry{MessageId::kSettingsPageCamera, "Camera and Calibration", "カメラと校正"},
    Entry{MessageId::kSettingsPageWeather, "Weather", "気象"},
    Entry{MessageId::kSettingsPageBallClub, "Ball and Club", "ボールとクラブ"},
    Entry{MessageId::kSettingsPageClubSensor, "Club Sensor", "クラブセンサー"},
    Entry{MessageId::kSettingsPageSerialOutput, "Serial Output", "シリアル出力"},
    Entry{MessageId::kSettingsPageRouter, "Router", "ルーター"},
    Entry{MessageId::kSettingsPageRemote, "Remote Control and Test", "リモート操作とテスト"},
    Entry{MessageId::kSettingsPageLauncher, "Program Launcher", "プログラムランチャー"},
    Entry{MessageId::kSettingsPageSimulator, "Simulated Cameras", "シミュレーションカメラ"},
    Entry{MessageId::kSettingCalibration, "Calibration of camera %ld", "カメラ %ld の校正"},
    Entry{MessageId::kSettingNumberBetween, "%s: enter a number from %s to %s.",
          "%s: %s から %s までの数値を入力してください。"},
    Entry{MessageId::kSettingNumber, "%s: enter a number.", "%s: 数値を入力してください。"},
    Entry{MessageId::kSettingWholeNumberBetween, "%s: enter a whole number from %s to %s.",
          "%s: %s から %s までの整数を入力してください。"},
    Entry{MessageId::kSettingWholeNumber, "%s: enter a whole number.",
          "%s: 整数を入力してください。"},
    Entry{MessageId::kSettingRange, "%s to %s", "%s ～ %s"},
    Entry{MessageId::kSettingsNotWritten, "The settings could not be written to %s",
          "設定を %s に書き込めませんでした"},
    Entry{MessageId::kPasswordPrompt, "Password:", "パスワード:"},
    Entry{MessageId::kPasswordWrong, "The password is not correct.",
          "パスワードが正しくありません。"},
    Entry{MessageId::kInvalidBallSpeed, "Invalid Ball Speed value", "ボール速度の値が無効です"},
    Entry{MessageId::kInvalidLaunchAngle, "Invalid Launch Angle value", "打ち出し角の値が無効です"},
    Entry{MessageId::kInvalidSideAngle, "Invalid Side Angle value", "左右角の値が無効です"},
    Entry{MessageId::kInvalidBackSpin, "Invalid BackSpin value", "バックスピンの値が無効です"},
    Entry{MessageId::kInvalidSideSpin, "Invalid Sidespin value", "サイドスピンの値が無効です"},
    Entry{MessageId::kAnalysisTitle, "Shot Analysis", "ショット解析"},
    Entry{MessageId::kAnalysisShotGroup, "Shot", "ショット"},
    Entry{MessageId::kAnalysisSpeed, "Speed:", "ボール速度:"},
    Entry{MessageId::kAnalysisSpin, "Spin:", "スピン:"},
    Entry{MessageId::kAnalysisLaunch, "Launch:", "打ち出し角:"},
    Entry{MessageId::kAnalysisSideSpin, "Side Spin:", "サイドスピン:"},
    Entry{MessageId::kAnalysisSideAngle, "Side Angle:", "左右角:"},
    Entry{MessageId::kAnalysisDegrees, "deg", "度"},
    Entry{MessageId::kAnalysisPlotColour, "Plot colour:", "プロットの色:"},
    Entry{MessageId::kAnalysisTableShows, "Table shows:", "表の距離:"},
    Entry{MessageId::kAnalysisAnalyze, "&Analyze", "解析(&A)"},
    Entry{MessageId::kAnalysisPlot, "&Plot", "プロット(&P)"},
    Entry{MessageId::kAnalysisClearPlot, "&Clear Plot", "プロット消去(&C)"},
    Entry{MessageId::kAnalysisReports, "&Reports", "レポート(&R)"},
    Entry{MessageId::kAnalysisExit, "E&xit", "終了(&X)"},
    Entry{MessageId::kColourBlue, "Blue", "青"},
    Entry{MessageId::kColourRed, "Red", "赤"},
    Entry{MessageId::kColourGreen, "Green", "緑"},
    Entry{MessageId::kColourYellow, "Yellow", "黄"},
    Entry{MessageId::kColourBlack, "Black", "黒"},
    Entry{MessageId::kDistanceRoll, "Roll", "ラン"},
    Entry{MessageId::kPlotHeight, "Height (%s)", "高さ (%s)"},
    Entry{MessageId::kPlotDownrange, "Downrange (%s)", "飛距離 (%s)"},
    Entry{MessageId::kPlotShots, "Plotted shots (%d of %d)", "プロットしたショット (%d / %d)"},
    Entry{MessageId::kPlotNoShots, "No shots plotted", "プロットしたショットはありません"},
    Entry{MessageId::kRangeLeft, "L", "左"},
    Entry{MessageId::kRangeRight, "R", "右"},
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
