#pragma once

#include "records/Enums.h"

#include <QComboBox>
#include <QPointer>
#include <QStringList>

#include <chrono>

class QNetworkAccessManager;
class Settings;

// Who writes the suggestions, as the settings and the guide offer it: the providers in their order with
// their labels. It shows the stored "llmProvider", again whenever that changes, and stores only what the
// user picks: showing the stored value writes nothing.
class ProviderPicker : public QComboBox {
    Q_OBJECT

public:
    ProviderPicker(Settings& settings, QWidget* parent);

    void showStored();

private:
    QPointer<Settings> m_settings;
};

// The models the local model server lists, to pick the on-device model from. Picking one stores it as the
// on-device model. A new listing drops the answer of any earlier one still on its way, so a slow answer
// never replaces a newer one, nor one for a provider no longer chosen.
class LocalModelPicker : public QComboBox {
    Q_OBJECT

public:
    enum class Choices {
        listed, // the listed models only
        withServerDefault, // "First model the server lists" first, and the stored model even when unlisted
    };

    static constexpr std::chrono::milliseconds defaultTimeout { 2000 };

    LocalModelPicker(Settings& settings, Choices choices, QWidget* parent);

    // How long the server has to answer.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    // Asks the server at "localModelURL" for its models.
    void list();
    // Drops the answer on its way, if any.
    void drop();
    bool isListing() const { return m_listing != nullptr; }
    // Shows `models` with the stored model chosen.
    void showModels(const QStringList& models);

Q_SIGNALS:
    // The newest listing's answer: empty when the server did not answer with a model within the time.
    void listed(const QStringList& models);

private:
    QPointer<Settings> m_settings;
    const Choices m_choices;
    std::chrono::milliseconds m_timeout = defaultTimeout;
    QNetworkAccessManager* m_network = nullptr;
    // The context of the listing on its way: deleting it drops that listing's answer.
    QObject* m_listing = nullptr;
};
