#include "platform/ui/WindowSystem.h"

#include <QApplication>

namespace ui {

struct WindowSystem::Native {
    // QApplication keeps the count and the strings it was given for its
    // whole life, and may take entries out of them.
    int argc = 0;
    std::vector<std::string> strings;
    std::vector<char*> argv;
    std::unique_ptr<QApplication> application;
};

WindowSystem::WindowSystem(std::vector<std::string>& arguments, const std::string& programName,
                           const std::string& version)
    : native_(std::make_unique<Native>())
{
    native_->strings = arguments;
    for (std::string& argument : native_->strings) {
        native_->argv.push_back(argument.data());
    }
    native_->argc = static_cast<int>(native_->argv.size());
    native_->argv.push_back(nullptr);
    native_->application = std::make_unique<QApplication>(native_->argc, native_->argv.data());
    QApplication::setApplicationName(QString::fromStdString(programName));
    QApplication::setApplicationVersion(QString::fromStdString(version));
    arguments.assign(native_->argv.begin(), native_->argv.begin() + native_->argc);
}

WindowSystem::~WindowSystem() = default;

}  // namespace ui
