#include "common/dialogs.h"

#include "common/pictures.h"
#include "program_version.h"

#include <QDesktopServices>
#include <QUrl>

namespace quellaton {

ConfirmationDialog::ConfirmationDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConfirmationDialog"));
    setWindowTitle(QStringLiteral("WARNING"));
    setFixedSize(360, 150);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("warningPicture"));
    picture->setPixmap(WarningPicture());
    picture->setGeometry(16, 24, 48, 48);
    messageLabel = new QLabel(QStringLiteral("Saving a Preset to PC."), this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setGeometry(78, 16, 270, 72);
    messageLabel->setWordWrap(true);
    firstButton = new QPushButton(QStringLiteral("YES"), this);
    firstButton->setObjectName(QStringLiteral("firstButton"));
    firstButton->setGeometry(90, 104, 84, 28);
    secondButton = new QPushButton(QStringLiteral("NO"), this);
    secondButton->setObjectName(QStringLiteral("secondButton"));
    secondButton->setGeometry(190, 104, 84, 28);
    connect(firstButton, &QPushButton::clicked, this, [this] { done(int(Answer::First) + 1); });
    connect(secondButton, &QPushButton::clicked, this, [this] { done(int(Answer::Second) + 1); });
}

ConfirmationDialog::Answer ConfirmationDialog::ask(const QString& message,
                                                   const QString& firstCaption, bool secondShown) {
    messageLabel->setText(QString(message).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    messageLabel->setProperty("messageText", message);
    firstButton->setText(firstCaption);
    secondButton->setVisible(secondShown);
    // The close box rejects the dialog: 0.
    const int code = exec();
    return code > 0 ? Answer(code - 1) : Answer::Closed;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Quellaton"));
    setFixedSize(380, 190);
    QFont bold(QStringLiteral("Arial"));
    bold.setBold(true);
    auto* version = new QLabel(QStringLiteral("Quellaton version:V1.00b"), this);
    version->setFont(bold);
    version->setGeometry(20, 18, 340, 20);
    releaseLabel = new QLabel(
        QStringLiteral("Program release %1").arg(QString::fromLatin1(ProgramVersion)), this);
    releaseLabel->setObjectName(QStringLiteral("releaseLabel"));
    releaseLabel->setFont(QFont(QStringLiteral("Arial")));
    releaseLabel->setGeometry(20, 40, 340, 20);
    auto* download =
        new QLabel(QStringLiteral("Download user manual and software updates from:"), this);
    download->setFont(bold);
    download->setGeometry(20, 72, 350, 20);
    addressLabel = new QLabel(QString::fromLatin1(SupportAddress), this);
    addressLabel->setObjectName(QStringLiteral("addressLabel"));
    QFont link = bold;
    link.setUnderline(true);
    addressLabel->setFont(link);
    addressLabel->setStyleSheet(QStringLiteral("color: #586597;")); // colour value 9921880
    addressLabel->setCursor(Qt::PointingHandCursor);
    addressLabel->setGeometry(20, 98, 340, 20);
    // The keyboard reaches the link as well (Tab to it, Enter opens it).
    addressLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                          Qt::LinksAccessibleByKeyboard);
    addressLabel->setText(QStringLiteral("<a href=\"%1\" style=\"color:#586597;\">%1</a>")
                              .arg(QString::fromLatin1(SupportAddress)));
    connect(addressLabel, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(148, 144, 84, 28);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

BtlPictureDialog::BtlPictureDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BtlPictureDialog"));
    setWindowTitle(QStringLiteral("BTL模式"));
    setFixedSize(722, 158);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("btlPicture"));
    picture->setPixmap(BtlPicture());
    picture->setGeometry(4, 0, 713, 157);
}

} // namespace quellaton
