#pragma once

#include <QString>
#include <span>

class QWidget;

namespace kyvern::ui {

// The About box of the window's menu: the serial numbers of up to four cameras, the version
// and the build date.
class AboutBox {
public:
    // Each serial above 0 as "%07ld" on its own line, then "Version 3.0.1" and, on the next
    // line, the build date in the compiler's "Mar  7 2005" form.
    static QString Text(std::span<const long> serials);
    static void Show(QWidget* parent, std::span<const long> serials);
};

}  // namespace kyvern::ui
