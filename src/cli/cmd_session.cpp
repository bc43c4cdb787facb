// kyvern-cli session show|merge|export: session files read into one shot table, as "Load
// Session" reads them, one after the other.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/pass_options.h"
#include "base/user_prompts.h"
#include "cli/command.h"
#include "data/csv_export.h"
#include "data/session_file.h"
#include "data/shot_table.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage =
    "usage: kyvern-cli session show FILE... [--json]\n"
    "       kyvern-cli session merge --out OUT [--user NAME] [--session NAME] FILE...\n"
    "       kyvern-cli session export --csv OUT.csv FILE...\n";

struct Options {
    std::string action;
    Args files;
    std::string out;
    std::string csv;
    bool hasUser = false;
    bool hasSession = false;
    std::string user;
    std::string session;
    bool json = false;
};

bool Parse(const Args& args, Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            options.json = true;
        } else if (a == "--out" || a == "--csv" || a == "--user" || a == "--session") {
            if (i + 1 >= args.size()) return false;
            const std::string& value = args[++i];
            if (a == "--out") options.out = value;
            if (a == "--csv") options.csv = value;
            if (a == "--user") {
                options.user = value;
                options.hasUser = true;
            }
            if (a == "--session") {
                options.session = value;
                options.hasSession = true;
            }
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return false;
        } else if (options.action.empty()) {
            options.action = a;
        } else {
            options.files.push_back(a);
        }
    }
    if (options.files.empty()) return false;
    const bool names = options.hasUser || options.hasSession;
    if (options.action == "show") return options.out.empty() && options.csv.empty() && !names;
    if (options.action == "merge")
        return !options.out.empty() && options.csv.empty() && !options.json;
    if (options.action == "export")
        return !options.csv.empty() && options.out.empty() && !names && !options.json;
    return false;
}

// Loads every file in order; false when one of them could not be read.
bool LoadAll(data::ShotTable& table, const Args& files, int& skipped, base::UserPrompts& prompts) {
    bool all = true;
    skipped = 0;
    for (const std::string& file : files) {
        data::LoadReport report;
        if (!base::Show(data::LoadSession(table, file, report), prompts)) {
            std::fprintf(stderr, "kyvern-cli: %s\n", file.c_str());
            all = false;
            continue;
        }
        skipped += report.skipped;
    }
    return all;
}

void PrintJsonDocument(const data::ShotTable& table, int skipped) {
    Json rows = Json::array();
    for (int r = 1; r < table.RowCount(); ++r) {
        Json cells = Json::array();
        for (int c = 0; c < data::kColumnCount; ++c)
            cells.push_back(table.Cell(r, c));
        rows.push_back({{"group", table.IsGroupRow(r)}, {"cells", std::move(cells)}});
    }
    PrintJson({{"rows", std::move(rows)}, {"skipped", skipped}});
}

// The visible columns, each as wide as its widest text, two blanks apart.
void PrintText(const data::ShotTable& table, int skipped) {
    std::vector<std::size_t> widths(data::kColumnCount, 0);
    for (int r = 0; r < table.RowCount(); ++r) {
        for (int c = 0; c < data::kColumnCount; ++c)
            widths[c] = std::max(widths[c], table.Cell(r, c).size());
    }
    for (int r = 0; r < table.RowCount(); ++r) {
        std::string line;
        for (int c = 0; c < data::kColumnCount; ++c) {
            if (table.IsColumnHidden(c)) continue;
            std::string cell = table.Cell(r, c);
            cell.resize(widths[c], ' ');
            if (!line.empty()) line += "  ";
            line += cell;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::printf("%s\n", line.c_str());
    }
    std::printf("Skipped lines: %d\n", skipped);
}

int RunSession(const Args& args) {
    Options options;
    if (!Parse(args, options)) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    base::StderrPrompts prompts;
    const app::PassOptions pass = app::ReadPassOptions();
    data::ShotTable table(pass.flight, base::Settings());
    table.SetupTable();
    table.ReadDisplayUnits(pass.snapshot);
    int skipped = 0;
    const bool all = LoadAll(table, options.files, skipped, prompts);

    if (options.action == "show") {
        if (options.json) {
            PrintJsonDocument(table, skipped);
        } else {
            PrintText(table, skipped);
        }
        return all ? 0 : 1;
    }

    // A merge or export that lost one of its files would look complete; write nothing.
    if (!all) return 1;
    if (options.action == "export") {
        const data::CsvExportResult result =
            data::ExportShotsCsv(table, pass.snapshot, options.csv);
        std::fprintf(result.ok ? stdout : stderr, "%s\n", result.message.c_str());
        return result.ok ? 0 : 1;
    }
    int shots = 0;
    int firstShot = -1;
    for (int r = 1; r < table.RowCount(); ++r) {
        if (table.IsGroupRow(r)) continue;
        ++shots;
        if (firstShot < 0) firstShot = r;
    }
    const std::string user =
        options.hasUser ? options.user : table.Cell(firstShot, data::kUserColumn);
    const std::string session =
        options.hasSession ? options.session : table.Cell(firstShot, data::kSessionColumn);
    if (!base::Show(data::SaveSession(table, options.out, user, session), prompts)) return 1;
    std::printf("Merged %d shots from %zu files into %s (skipped lines: %d)\n", shots,
                options.files.size(), options.out.c_str(), skipped);
    return 0;
}

const Registration kSession({"session",
                             "session show FILE... [--json] | session merge --out OUT "
                             "[--user NAME] [--session NAME] FILE... | session export --csv "
                             "OUT.csv FILE...   read session files into one shot table",
                             RunSession});

}  // namespace
}  // namespace kyvern::cli
