#pragma once
// Sign-in to the composition backend. For now the key is only stored; checking it
// with the backend and reloading the compose client come with the compose client.
// Main thread only.

#include <QString>

class Settings;

class SignIn {
public:
    explicit SignIn(Settings& settings) : m_settings(settings) {}

    void activateKey(const QString& key);

private:
    Settings& m_settings;
};
