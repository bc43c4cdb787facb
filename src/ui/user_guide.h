#pragma once

// The user's guide: written in Markdown in this repository, built into the program, laid out
// and written as PDF files in the program folder's Docs/, and opened by Help.

#include <QString>
#include <string>
#include <string_view>

namespace kyvern::ui {

// The guide's file name for a user-interface language ("English", "Japanese", "German",
// "French", "Spanish", "Korean", in any case); the English name for any other.
std::string GuideFileName(std::string_view language);

// The guide to open for a language: its own file in docsFolder when that exists, else the
// English one.
std::string ChooseGuide(const std::string& docsFolder, std::string_view language);

// Lays out a Markdown text and writes it as a PDF at path (replaced as a whole).
bool WriteGuidePdf(const QString& markdown, const QString& path, bool japanese,
                   QString* error = nullptr);

// Writes each guide the program carries (English, Japanese) into docsFolder when it is missing
// or older than the program file; returns how many were written.
int EnsureUserGuides(const std::string& docsFolder, const QString& programPath);
// The same for the program folder's Docs/ and the running program, for the start-up.
int EnsureUserGuides();

// Help: makes sure the guides are there, then opens the one of the language (the language in
// force when empty) with the platform's opener. False when no guide could be opened.
bool OpenUserGuide(std::string_view language);

}  // namespace kyvern::ui
