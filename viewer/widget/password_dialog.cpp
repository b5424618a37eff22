#include "password_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ocuview {

PasswordDialog::PasswordDialog(const QString& site, const QString& realm, QWidget* parent)
    : QDialog(parent), user_(new QLineEdit), password_(new QLineEdit) {
    setWindowTitle(QStringLiteral("Enter Network Password"));
    auto* prompt = new QLabel(tr("Please type your user name and password."));
    auto* siteField = new QLineEdit(site);
    siteField->setReadOnly(true);
    siteField->setObjectName(QStringLiteral("site"));
    auto* realmField = new QLineEdit(realm);
    realmField->setReadOnly(true);
    realmField->setObjectName(QStringLiteral("realm"));
    user_->setMaxLength(kFieldLength);
    user_->setObjectName(QStringLiteral("user"));
    password_->setMaxLength(kFieldLength);
    password_->setEchoMode(QLineEdit::Password);
    password_->setObjectName(QStringLiteral("password"));

    auto* form = new QFormLayout;
    form->addRow(tr("Site:"), siteField);
    form->addRow(tr("Realm:"), realmField);
    form->addRow(tr("User Name:"), user_);
    form->addRow(tr("Password:"), password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(form);
    layout->addWidget(buttons);
    user_->setFocus();
}

PasswordDialog::~PasswordDialog() {
    // Leave nothing of the password in the field's buffer once the dialog goes.
    password_->clear();
}

std::string PasswordDialog::user() const {
    return user_->text().toStdString();
}

std::string PasswordDialog::password() const {
    return password_->text().toStdString();
}

}  // namespace ocuview
