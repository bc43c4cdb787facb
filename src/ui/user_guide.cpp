#include "ui/user_guide.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <array>
#include <filesystem>

#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/string_table.h"

// The guide's Markdown lives in a resource of the static library, which the linker keeps only
// when something names its initialiser; it must be called outside any namespace.
static void InitGuideResource() { Q_INIT_RESOURCE(user_guide); }

namespace kyvern::ui {

namespace {

// The languages in the order their guides are tested.
constexpr std::array<std::string_view, 6> kLanguages{"English", "Japanese", "German",
                                                     "French",  "Spanish",  "Korean"};

std::string FileNameAt(std::size_t index) {
    return "Kyvern User's Guide v3.0 " + std::string(kLanguages[index]) + ".pdf";
}

// The guides the program carries: the language's index and its Markdown resource.
struct CarriedGuide {
    std::size_t language;
    const char* resource;
};
constexpr CarriedGuide kCarried[] = {{0, ":/guide/en.md"}, {1, ":/guide/ja.md"}};

// The Unicode value a ToUnicode entry should give for a code the font shares between a radical
// (or a punctuation look-alike) and the character Japanese text uses. Qt maps each glyph to
// the lowest code the font gives it, which for Noto CJK is often a Kangxi radical: 角 comes
// out as U+2F93, and a reader's search and copy of the text then fail.
int TextCodeFor(int code) {
    if (code == 0x2027) return 0x30FB;  // the middle dot of Japanese text
    if (code < 0x2E80 || code > 0x2FDF) return code;
    const QString radical(QChar(static_cast<char16_t>(code)));
    const QString unified = radical.normalized(QString::NormalizationForm_KC);
    return unified.size() == 1 ? unified.at(0).unicode() : code;
}

// Rewrites, in place, the destination codes of the PDF's ToUnicode maps by TextCodeFor. The
// maps are written uncompressed and each code keeps its four hex digits, so no length or
// offset in the file changes.
void FixTextCodes(QByteArray& pdf) {
    auto patch = [&pdf](qsizetype at) {  // at: the '<' of a four-digit destination
        if (at + 5 >= pdf.size() || pdf[at + 5] != '>') return;
        bool ok = false;
        const int code = QByteArray(pdf.constData() + at + 1, 4).toInt(&ok, 16);
        if (!ok) return;
        const int fixed = TextCodeFor(code);
        if (fixed == code) return;
        const QByteArray hex = QByteArray::number(fixed, 16).toUpper().rightJustified(4, '0');
        for (int k = 0; k < 4; ++k)
            pdf[at + 1 + k] = hex[k];
    };
    for (qsizetype begin = pdf.indexOf("beginbfrange"); begin >= 0;
         begin = pdf.indexOf("beginbfrange", begin + 1)) {
        const qsizetype end = pdf.indexOf("endbfrange", begin);
        if (end < 0) break;
        // Each line: <first> <last> then [<code> ...], or one <code> counted up from first.
        for (qsizetype line = pdf.indexOf('\n', begin) + 1; line > 0 && line < end;) {
            qsizetype lineEnd = pdf.indexOf('\n', line);
            if (lineEnd < 0 || lineEnd > end) lineEnd = end;
            const QByteArray text = pdf.mid(line, lineEnd - line);
            const qsizetype second = text.indexOf('<', text.indexOf('>'));
            const qsizetype rest = second < 0 ? -1 : text.indexOf('>', second) + 1;
            if (rest > 0) {
                const bool single = text.mid(0, 6) == text.mid(second, 6);
                for (qsizetype at = text.indexOf('<', rest); at >= 0;
                     at = text.indexOf('<', at + 1))
                    if (single || text.indexOf('[', rest) >= 0) patch(line + at);
            }
            line = lineEnd + 1;
        }
    }
}

}  // namespace

std::string GuideFileName(std::string_view language) {
    language = base::Trim(language);
    for (std::size_t i = 0; i < kLanguages.size(); ++i)
        if (base::EqualsNoCase(language, kLanguages[i])) return FileNameAt(i);
    return FileNameAt(0);
}

std::string ChooseGuide(const std::string& docsFolder, std::string_view language) {
    const std::filesystem::path folder(docsFolder);
    const std::filesystem::path own = folder / GuideFileName(language);
    std::error_code error;
    if (std::filesystem::is_regular_file(own, error)) return own.string();
    return (folder / FileNameAt(0)).string();
}

bool WriteGuidePdf(const QString& markdown, const QString& path, bool japanese, QString* error) {
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
        writer.setTitle(japanese ? QStringLiteral("Kyvern ユーザーズガイド v3.0")
                                 : QStringLiteral("Kyvern User's Guide v3.0"));
        writer.setCreator(QStringLiteral("Kyvern 3.0"));
        QTextDocument document;
        QFont font(japanese ? QStringLiteral("Noto Sans CJK JP") : QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10.0);
        document.setDefaultFont(font);
        document.setMarkdown(markdown);
        // Tables with single ruled cells rather than the default double frames.
        for (QTextFrame* frame : document.rootFrame()->childFrames()) {
            if (auto* table = qobject_cast<QTextTable*>(frame)) {
                QTextTableFormat format = table->format();
                format.setBorderCollapse(true);
                format.setBorder(1.0);
                format.setBorderBrush(QColor(140, 140, 140));
                format.setCellPadding(3);
                format.setCellSpacing(0);
                format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
                table->setFormat(format);
            }
        }
        document.print(&writer);
    }
    FixTextCodes(pdf);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

int EnsureUserGuides(const std::string& docsFolder, const QString& programPath) {
    InitGuideResource();
    const QString folder = QString::fromStdString(docsFolder);
    if (!QDir().mkpath(folder)) return 0;
    const QDateTime built = QFileInfo(programPath).lastModified();
    int written = 0;
    for (const CarriedGuide& guide : kCarried) {
        const QString path = folder + "/" + QString::fromStdString(FileNameAt(guide.language));
        const QFileInfo existing(path);
        if (existing.exists() && (!built.isValid() || existing.lastModified() >= built)) continue;
        QFile source(QString::fromUtf8(guide.resource));
        if (!source.open(QIODevice::ReadOnly)) continue;
        const QString markdown = QString::fromUtf8(source.readAll());
        if (WriteGuidePdf(markdown, path, guide.language == 1)) ++written;
    }
    return written;
}

int EnsureUserGuides() {
    return EnsureUserGuides(base::DocsFolder(), QCoreApplication::applicationFilePath());
}

bool OpenUserGuide(std::string_view language) {
    const std::string docs = base::DocsFolder();
    EnsureUserGuides(docs, QCoreApplication::applicationFilePath());
    if (language.empty())
        language = base::CurrentLanguage() == base::Language::kJapanese ? "Japanese" : "English";
    const std::string path = ChooseGuide(docs, language);
    if (!QFileInfo::exists(QString::fromStdString(path))) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace kyvern::ui
