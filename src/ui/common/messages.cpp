#include "common/messages.h"

#include <QMessageBox>
#include <QPointer>

namespace quellaton {

void ShowMessage(QWidget* parent, const QString& message) {
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("message"));
    box->setWindowTitle(QStringLiteral("QUELLATON"));
    box->setText(QString(message).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    box->setProperty("messageText", message);
    box->setStandardButtons(QMessageBox::Ok);
    box->setIcon(QMessageBox::NoIcon);
    box->exec();
    delete box;
}

} // namespace quellaton
