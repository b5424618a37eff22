// "Enter Network Password": asks for a user name and password for the camera's realm. The realm is shown
// read-only; each field takes at most 15 characters. What is typed lives only in the dialog's fields and
// in the value returned to the caller: it is never logged, stored or written anywhere.
#ifndef OCUVIEW_WIDGET_PASSWORD_DIALOG_H
#define OCUVIEW_WIDGET_PASSWORD_DIALOG_H

#include <QDialog>
#include <optional>
#include <string>

class QLineEdit;

namespace ocuview {

class PasswordDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kFieldLength = 15;

    PasswordDialog(const QString& site, const QString& realm, QWidget* parent = nullptr);
    ~PasswordDialog() override;

    [[nodiscard]] std::string user() const;
    [[nodiscard]] std::string password() const;

  private:
    QLineEdit* user_;
    QLineEdit* password_;
};

}  // namespace ocuview

#endif
