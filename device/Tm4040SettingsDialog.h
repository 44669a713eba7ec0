#pragma once

#include "device/PluginInterface.h"

#include <QDialog>
#include <QScopedPointer>

class DeviceConnection;

namespace Ui {
class Tm4040SettingsDialog;
}

// Reads and changes a TM4040's own settings: thresholds, history interval
// and mode, alarm clock, and the one-shot actions (reset the accumulated
// dose, clear the history, set the clock). Every device call runs on the GUI
// thread and blocks it for the length of the exchange.
class Tm4040SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    // `connection` belongs to the finder dialog and holds the found device.
    // The device's settings are read before the dialog is shown.
    explicit Tm4040SettingsDialog(DeviceConnection *connection, QWidget *parent = nullptr);
    ~Tm4040SettingsDialog() override;

    const Tm4040Settings &settings() const { return m_settings; }

public slots:
    void readSettings();
    void writeSettings();

private:
    // The values just written, as the audit trail keeps them.
    QString writtenText() const;
    AbstractPlugin *plugin() const;

    QScopedPointer<Ui::Tm4040SettingsDialog> ui;
    DeviceConnection *m_connection;
    Tm4040Settings m_settings;
};
