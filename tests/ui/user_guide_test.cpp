#include "ui/user_guide.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <chrono>
#include <filesystem>

#include "support/temp_dir.h"

namespace kyvern::ui {
namespace {

using testing::TempDir;
using testing::WriteFileText;

// A language's own guide when it is there, in the order of the list; English otherwise.
TEST(UserGuide, ChosenByLanguageWithTheEnglishFallback) {
    TempDir docs;
    for (const char* language : {"English", "Japanese", "Korean"})
        WriteFileText(docs.File(GuideFileName(language)), "%PDF");
    const struct {
        const char* language;
        const char* file;
    } cases[] = {
        {"Japanese", "Kyvern User's Guide v3.0 Japanese.pdf"},
        {" korean ", "Kyvern User's Guide v3.0 Korean.pdf"},
        {"German", "Kyvern User's Guide v3.0 English.pdf"},  // named, but not there
        {"Klingon", "Kyvern User's Guide v3.0 English.pdf"},
        {"", "Kyvern User's Guide v3.0 English.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseGuide(docs.Path(), c.language), docs.File(c.file)) << c.language;
    EXPECT_EQ(GuideFileName("FRENCH"), "Kyvern User's Guide v3.0 French.pdf");
    EXPECT_EQ(GuideFileName("Spanish"), "Kyvern User's Guide v3.0 Spanish.pdf");
}

std::string PdfText(const std::string& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                                QString::fromStdString(path), QStringLiteral("-")});
    if (!process.waitForFinished(30000)) return {};
    return process.readAllStandardOutput().toStdString();
}

// Both guides are written into Docs/ with their texts readable back from the PDF; they are
// written again only when the program is newer.
TEST(UserGuide, WrittenAsPdfWhenMissingOrOlderThanTheProgram) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TempDir home;
    const std::string docs = home.File("Docs");
    const std::string program = home.File("kyvern");
    WriteFileText(program, "program");
    EXPECT_EQ(EnsureUserGuides(docs, QString::fromStdString(program)), 2);

    const struct {
        const char* language;
        std::vector<std::string> texts;
    } guides[] = {
        {"English",
         {"Kyvern User's Guide", "The program folder", "The shot analysis window",
          "statusKyvern.ini", "Golf simulator link", "kyvern-cli regress DIR"}},
        {"Japanese",
         {"Kyvern ユーザーズガイド", "プログラムフォルダー", "ショット解析ウィンドウ",
          "ゴルフシミュレーター連携", "コマンドライン", "打ち出し角"}},
    };
    for (const auto& guide : guides) {
        const std::string path = ChooseGuide(docs, guide.language);
        EXPECT_NE(path.find(guide.language), std::string::npos);
        const std::string text = PdfText(path);
        for (const std::string& expected : guide.texts)
            EXPECT_NE(text.find(expected), std::string::npos) << guide.language << ": " << expected;
    }

    EXPECT_EQ(EnsureUserGuides(docs, QString::fromStdString(program)), 0);
    std::filesystem::remove(ChooseGuide(docs, "Japanese"));
    EXPECT_EQ(EnsureUserGuides(docs, QString::fromStdString(program)), 1);
    std::filesystem::last_write_time(
        program, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    EXPECT_EQ(EnsureUserGuides(docs, QString::fromStdString(program)), 2);
}

}  // namespace
}  // namespace kyvern::ui
