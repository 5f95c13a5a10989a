#include "mainwindow/NetworkOptionsTab.h"

#include "settings/SettingsStore.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QSysInfo>

NetworkOptionsTab::NetworkOptionsTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tabNet"));
    auto *grid = new QGridLayout(this);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(4);
    auto named = [this](auto *widget, const char *name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    m_host = named(new QLineEdit(this), "MqttHost");
    m_host->setPlaceholderText(tr("leer: kein Broker"));
    m_port = named(new QSpinBox(this), "MqttPort");
    m_port->setRange(1, 65535);
    m_port->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_tls = named(new QCheckBox(tr("TLS"), this), "MqttTls");
    m_caFile = named(new TButtonEdit(this), "MqttCaFile");
    m_caFile->setButtonVisible(true);
    m_user = named(new QLineEdit(this), "MqttUser");
    m_password = named(new QLineEdit(this), "MqttPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_node = named(new QLineEdit(this), "MqttNode");
    m_node->setPlaceholderText(QSysInfo::machineHostName());
    m_discovery = named(new QCheckBox(tr("Home Assistant"), this), "MqttDiscovery");
    m_displayOnly = named(new QCheckBox(tr("Nur Anzeige"), this), "DisplayOnly");
    m_displayOnly->setToolTip(
        tr("Kein ISDN-Zugang: zeigt die Anrufe der anderen Rechner (ab dem nächsten Start)."));
    m_acceptCommands = named(new QCheckBox(tr("Befehle anderer Rechner annehmen"), this), "AcceptCommands");

    grid->setContentsMargins(4, 4, 4, 4);
    m_port->setMaximumWidth(56);
    // Five rows fit the page: the broker and TLS, the CA file, the login, the name, the commands.
    grid->addWidget(label(tr("Broker"), m_host), 0, 0);
    grid->addWidget(m_host, 0, 1, 1, 2);
    auto *portRow = new QHBoxLayout;
    portRow->setSpacing(4);
    portRow->addWidget(m_port);
    portRow->addWidget(m_tls);
    grid->addLayout(portRow, 0, 3);
    grid->addWidget(label(tr("CA-Datei"), m_caFile), 1, 0);
    grid->addWidget(m_caFile, 1, 1, 1, 2);
    grid->addWidget(m_discovery, 1, 3);
    grid->addWidget(label(tr("Benutzer"), m_user), 2, 0);
    grid->addWidget(m_user, 2, 1);
    grid->addWidget(label(tr("Kennwort"), m_password), 2, 2);
    grid->addWidget(m_password, 2, 3);
    grid->addWidget(label(tr("Name"), m_node), 3, 0);
    grid->addWidget(m_node, 3, 1);
    grid->addWidget(m_displayOnly, 3, 2, 1, 2);
    grid->addWidget(m_acceptCommands, 4, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(m_tls, &QCheckBox::toggled, m_caFile, &QWidget::setEnabled);
    connect(m_caFile, &TButtonEdit::buttonClicked, this, [this] {
        const QString chosen =
            ChooseOpenFile(this, tr("CA-Datei auswählen ..."), tr("Zertifikate|*.pem;*.crt|Alle|*.*"),
                           QFileInfo(m_caFile->text()).absolutePath());
        if (!chosen.isEmpty())
            m_caFile->setText(chosen);
    });
}

void NetworkOptionsTab::Load()
{
    m_host->setText(Settings::Read(Settings::MqttHost));
    m_port->setValue(Settings::Read(Settings::MqttPort));
    m_tls->setChecked(Settings::Read(Settings::MqttTls));
    m_caFile->setText(Settings::Read(Settings::MqttCaFile));
    m_caFile->setEnabled(m_tls->isChecked());
    m_user->setText(Settings::Read(Settings::MqttUser));
    m_password->setText(Settings::Read(Settings::MqttPassword));
    m_node->setText(Settings::Read(Settings::MqttNode));
    m_discovery->setChecked(Settings::Read(Settings::MqttDiscovery));
    m_displayOnly->setChecked(Settings::Read(Settings::DisplayOnly));
    m_acceptCommands->setChecked(Settings::Read(Settings::AcceptCommands));
}

bool NetworkOptionsTab::Apply()
{
    const QString host = m_host->text().trimmed();
    const QString caFile = m_caFile->text().trimmed();
    // A node name is one level of a topic: no separators, no wildcards.
    const QString node = m_node->text().trimmed();
    if (node.contains(QLatin1Char('/')) || node.contains(QLatin1Char('+')) ||
        node.contains(QLatin1Char('#'))) {
        ShowMessageDlg(tr("Der Name darf weder /, + noch # enthalten."));
        return false;
    }
    if (!host.isEmpty() && m_tls->isChecked() && !caFile.isEmpty() && !QFileInfo(caFile).isReadable()) {
        ShowMessageDlg(tr("Die CA-Datei %1 kann nicht gelesen werden.").arg(caFile));
        return false;
    }
    bool changed = false;
    auto text = [&](const Settings::Text &key, const QString &value) {
        if (Settings::Read(key) != value) {
            Settings::Write(key, value);
            changed = true;
        }
    };
    auto flag = [&](const Settings::Flag &key, bool value) {
        if (Settings::Read(key) != value) {
            Settings::Write(key, value);
            changed = true;
        }
    };
    const bool stored = StoreSetting([&] {
        text(Settings::MqttHost, host);
        if (Settings::Read(Settings::MqttPort) != m_port->value()) {
            Settings::Write(Settings::MqttPort, m_port->value());
            changed = true;
        }
        flag(Settings::MqttTls, m_tls->isChecked());
        text(Settings::MqttCaFile, caFile);
        text(Settings::MqttUser, m_user->text());
        text(Settings::MqttPassword, m_password->text());
        text(Settings::MqttNode, node);
        flag(Settings::MqttDiscovery, m_discovery->isChecked());
        flag(Settings::AcceptCommands, m_acceptCommands->isChecked());
        // Counts from the next start.
        Settings::Write(Settings::DisplayOnly, m_displayOnly->isChecked());
    });
    if (changed)
        emit networkChanged();
    return stored;
}
