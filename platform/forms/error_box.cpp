#include "error_box.h"

#include <cstdio>

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* owner, const std::string& description,
                                          QMessageBox::Icon icon) {
    auto box =
        std::make_unique<QMessageBox>(icon, QString::fromUtf8(kProgramTitle),
                                      QString::fromStdString(description), QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void ShowErrorBox(QWidget* owner, const std::string& description, QMessageBox::Icon icon) {
    MakeErrorBox(owner, description, icon)->exec();
}

void ErrorReport::operator()(const std::string& description) {
    if (open_) {
        std::fprintf(stderr, "Trellon: %s\n", description.c_str());
        return;
    }
    open_ = true;
    show_(description);
    open_ = false;
}
