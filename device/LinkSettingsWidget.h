#pragma once

#include "device/LinkSettings.h"

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class LinkSettingsWidget;
}

// The page of the program settings where the workstation's link to a
// dosimeter is chosen (see LinkSettings). Fields that the chosen kind does
// not use are disabled; a hint says what the choice does, or that the
// environment variable TM4040_LINK decides instead.
class LinkSettingsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit LinkSettingsWidget(QWidget *parent = nullptr);
    ~LinkSettingsWidget() override;

    LinkSettings settings() const;
    void setSettings(const LinkSettings &settings);
    // Stores the choice in the workstation's settings and hands it on.
    void save() const;

private:
    void updateFields();

    QScopedPointer<Ui::LinkSettingsWidget> m_ui;
};
