#include "error_box.h"

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
