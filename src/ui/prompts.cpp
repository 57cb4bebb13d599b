#include "ui/prompts.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>

namespace tess {

Prompts::Prompts(bool headless) : headless_(headless) {}

bool Prompts::headless_platform() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

std::string Prompts::one_line(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (const char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

void Prompts::message_box(QWidget* parent, const std::string& text) {
    if (headless_) {
        const std::string line = one_line(text) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("tessaron"), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace tess
