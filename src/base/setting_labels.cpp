#include "base/setting_labels.h"

#include <array>
#include <utility>

namespace kyvern::base {

namespace {

using enum SettingId;

// Japanese labels of the keys the settings dialog offers.
constexpr std::pair<SettingId, const char*> kJapanese[] = {
    {kHanded, "利き手"},
    {kSpeedDisplay, "速度の単位"},
    {kDistanceDisplay, "距離の単位"},
    {kTotalSpinDisplay, "総スピンを表示"},
    {kTerminalDisplay, "ターミナル表示"},
    {kDxPopupDisplay, "距離ポップアップ"},
    {kBallInfoFontColor, "ボール欄の文字色"},
    {kClubInfoFontColor, "クラブ欄の文字色"},
    {kFlightInfoFontColor, "弾道欄の文字色"},
    {kBall, "ボールの種類"},
    {kClubMass, "クラブヘッド質量 (g)"},
    {kClubLoft, "クラブロフト (度)"},
    {kPerformanceIndex, "パフォーマンス指標"},
    {kPracticeRange, "練習場表示のモニター"},
    {kLanguage, "言語"},
    {kCameraSpeed, "カメラ速度"},
    {kCameraBrightness, "明るさ"},
    {kCameraMode, "カメラモード"},
    {kCameraSelected, "選択カメラ (シリアル番号)"},
    {kCameraCalibration, "カメラ校正: 名前,x,y,z,a,b,c,"},
    {kCameraDriver, "カメラドライバー"},
    {kWeatherUnits, "気象の単位"},
    {kAltitude, "標高 (ft)"},
    {kTemperature, "気温 (F)"},
    {kHumidity, "湿度 (%)"},
    {kBarometer, "気圧 (inHg)"},
    {kWindSpeed, "風速 (mph)"},
    {kWindDir, "風向 (度)"},
    {kClubSensorType, "クラブセンサー"},
    {kClubSensorPort, "クラブセンサーのポート"},
    {kSerialOutputEnabled, "シリアル出力"},
    {kSerialOutputPort, "シリアル出力のポート"},
    {kRouterClientId, "ルーターのクライアント番号"},
    {kRouterTargetId, "送信先のクライアント番号"},
    {kTeeLocation, "ティーの位置"},
    {kCaptureFile, "監視する画像ファイル"},
    {kUpdateAnalysisDialog, "解析ウィンドウを更新"},
    {kRegressionTest, "自動テストを実行"},
    {kRegressionContinuous, "自動テストを繰り返す"},
    {kRegressionTimeBetween, "画像の間隔 (ミリ秒)"},
    {kRegressionDirectory, "画像フォルダー"},
    {kLauncherExecutable, "プログラム"},
    {kLauncherArguments, "引数"},
    {kLauncherButtonLabel, "ボタンの表示名"},
    {kLauncherDefaultDir, "作業フォルダー"},
    {kSimulatorCameras, "シミュレーションのカメラ台数"},
    {kSimulatorResolution, "シミュレーションの解像度"},
    {kSimulatorShotPeriod, "シミュレーションのショット間隔 (秒)"},
    {kSimulatorSeed, "シミュレーションの乱数シード"},
    {kSimulatorRealism, "シミュレーションのカメラ効果"},
    {kPrecision, "解析の精度"},
    {kMinConfidence, "公開するショットの最低信頼度"},
    {kPuttingStimp, "グリーンの速さ (スティンプ, ft)"},
    {kPuttingSlopePercent, "グリーンの傾斜 (%)"},
    {kPuttingSlopeDirection, "グリーンの下る向き (度)"},
    {kSimLinkProtocol, "ゴルフシミュレーターのプロトコル"},
    {kSimLinkHost, "ゴルフシミュレーターのホスト"},
    {kSimLinkPort, "ゴルフシミュレーターのポート"},
    {kSimLinkDeviceId, "シミュレーターに送る機器名"},
    {kSimLinkHeartbeatSeconds, "ハートビートの間隔 (秒)"},
    {kSimLinkFollowClub, "シミュレーターが指定したクラブを使う"},
    {kStoreUrl, "ショット履歴の保存先"},
    {kStoreBay, "打席の名前"},
    {kWebPort, "ライブページのポート"},
    {kWebListen, "ライブページのアドレス"},
    {kWebToken, "ライブページのトークン"},
};

constexpr std::array<const char*, static_cast<std::size_t>(kCount)> Japanese() {
    std::array<const char*, static_cast<std::size_t>(kCount)> labels{};
    for (const auto& [id, label] : kJapanese)
        labels[static_cast<std::size_t>(id)] = label;
    return labels;
}
constexpr auto kJapaneseById = Japanese();

}  // namespace

std::string_view SettingLabel(SettingId id, Language language) {
    const auto i = static_cast<std::size_t>(id);
    if (i >= kJapaneseById.size()) return {};
    if (language == Language::kJapanese && kJapaneseById[i]) return kJapaneseById[i];
    return Spec(id).label;
}

std::string_view SettingLabel(SettingId id) { return SettingLabel(id, CurrentLanguage()); }

}  // namespace kyvern::base
