#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSpinBox;
class TButtonEdit;

// The options page's tab "Netz": the MQTT broker that calls are told to (host and port, TLS with
// a CA file, user and password), this copy's name there, Home Assistant discovery, "Nur Anzeige"
// (this copy opens no CAPI and shows the calls of the others) and "Befehle anderer Rechner
// annehmen". Loaded with the page, written when the page is applied; changed broker settings are
// announced (networkChanged), "Nur Anzeige" counts from the next start.
class NetworkOptionsTab : public QWidget
{
    Q_OBJECT
public:
    explicit NetworkOptionsTab(QWidget *parent = nullptr);

    void Load();
    // Writes what changed; false when a value is refused (the user was told) or a write failed.
    bool Apply();

signals:
    // The broker, the node, discovery or the commands option changed and were stored.
    void networkChanged();

private:
    QLineEdit *m_host;
    QSpinBox *m_port;
    QCheckBox *m_tls;
    TButtonEdit *m_caFile;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLineEdit *m_node;
    QCheckBox *m_discovery;
    QCheckBox *m_displayOnly;
    QCheckBox *m_acceptCommands;
};
