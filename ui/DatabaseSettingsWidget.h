#pragma once

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class DatabaseSettingsWidget;
}

// The page of the program settings where the workstation chooses its
// database: empty for the file in the data folder, a file path, or a
// server's "postgresql://USER@HOST:PORT/DB". Kept in the workstation's
// settings, used from the next start.
class DatabaseSettingsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DatabaseSettingsWidget(QWidget *parent = nullptr);
    ~DatabaseSettingsWidget() override;

    QString connection() const;
    // Why the entered text cannot be kept (a password in it, a faulty
    // server text), or empty.
    QString problem() const;
    // Stores the text; false (and nothing stored) when problem() says why not.
    bool save() const;

private:
    void updateHint();

    QScopedPointer<Ui::DatabaseSettingsWidget> m_ui;
};
