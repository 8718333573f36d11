#include "forms/error_box.h"

#include <cstdio>

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* owner, const std::string& title,
                                          const std::string& description, QMessageBox::Icon icon) {
    auto box =
        std::make_unique<QMessageBox>(icon, QString::fromStdString(title),
                                      QString::fromStdString(description), QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void ShowErrorBox(QWidget* owner, const std::string& title, const std::string& description,
                  QMessageBox::Icon icon) {
    MakeErrorBox(owner, title, description, icon)->exec();
}

void ErrorReport::operator()(const std::string& description) {
    if (open_) {
        std::fprintf(stderr, "%s: %s\n", programName_.c_str(), description.c_str());
        return;
    }
    open_ = true;
    show_(description);
    open_ = false;
}
