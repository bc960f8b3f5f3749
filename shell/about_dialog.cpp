#include "shell/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace quadrel {

QString programVersion() {
    return QStringLiteral(QUADREL_VERSION);
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Quadrel");
    auto* icon = new QLabel;
    icon->setPixmap(QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48)
                                                        : QApplication::windowIcon().pixmap(48, 48));
    auto* name = new QLabel("<b>Quadrel</b>");
    auto* version = new QLabel("Version " + programVersion());
    version->setObjectName("version");
    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

} // namespace quadrel
