#include "StoreTesting.h"

#include "selection/Migration.h"
#include "selection/Selection.h"
#include "settings/LanguageModelSettings.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace storeTesting;

namespace {

// A key reader that records what was asked for, standing in for the keychain.
struct FakeKeys {
    std::map<QString, QString> keys;
    QStringList asked;

    languageModelSettings::KeyReader reader()
    {
        return [this](const QString& account) -> QCoro::Task<std::optional<QString>> {
            asked.append(account);
            const auto it = keys.find(account);
            co_return it == keys.end() ? std::nullopt : std::optional(it->second);
        };
    }
};

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void freshDefaults();
    void storedValuesWin();
    void changesAreAnnounced();
    void suggestionSettings_data();
    void suggestionSettings();
    void improvementSettings_data();
    void improvementSettings();

    void migrationOnFreshStore_data();
    void migrationOnFreshStore();
    void migrationSkipsExistingAssistants();
    void failingMigrationSave();

    void resolveSelection_data();
    void resolveSelection();
    void saveSelection();
    void lookupSelection();

private:
    QString m_path;
    std::unique_ptr<Settings> m_settings;
    std::shared_ptr<Store> m_store;
    std::unique_ptr<StoreContext> m_context;
    QTemporaryDir m_dir;
};

void SettingsTest::init()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(uuid::toText(uuid::create()) + QStringLiteral(".conf"));
    m_settings = std::make_unique<Settings>(m_path, nullptr);
    m_store = Store::openInMemory().value();
    m_context = m_store->newContext();
}

void SettingsTest::cleanup()
{
    m_context.reset();
    m_store.reset();
    m_settings.reset();
}

void SettingsTest::freshDefaults()
{
    const Settings& s = *m_settings;
    QCOMPARE(s.text(SettingKey::selectedContext), std::optional<QString>());
    QVERIFY(s.hideFromScreenShare()); // a fresh install hides from a shared screen
    // Reading defaults writes nothing.
    QVERIFY(QSettings(m_path, QSettings::IniFormat).allKeys().isEmpty());

    // A fresh installation: on-device suggestions with no model identifier, no key asked for.
    FakeKeys keys;
    const auto suggestion = QCoro::waitFor(languageModelSettings::loadSuggestionSettings(
        s, [] { return QStringLiteral("prompt"); }, keys.reader()));
    QCOMPARE(suggestion.provider, LLMProvider::onDevice);
    QCOMPARE(suggestion.prompt, QStringLiteral("prompt"));
    QVERIFY(keys.asked.isEmpty());
    QVERIFY(!QCoro::waitFor(languageModelSettings::loadImprovementSettings(s, keys.reader())));
}

void SettingsTest::storedValuesWin()
{
    m_settings->setNumber(SettingKey::windowOpacity, 0.4);
    m_settings->setBoolean(SettingKey::isAlwaysOnTop, false);
    m_settings->setText(SettingKey::assistantTab, QStringLiteral("qa"));
    m_settings->setText(SettingKey::llmModelOpenAI, QStringLiteral("gpt-x"));
    m_settings.reset();
    // Read back from the file under the stored names, as the next start would.
    QSettings file(m_path, QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("windowOpacity")).toDouble(), 0.4);
    QCOMPARE(file.value(QStringLiteral("llmModel.openai")).toString(), QStringLiteral("gpt-x"));
    Settings reread(m_path, nullptr);
    QCOMPARE(reread.windowOpacity(), 0.4);
    QCOMPARE(reread.isAlwaysOnTop(), false);
    QCOMPARE(reread.assistantTab(), QStringLiteral("qa"));
    // A value of the wrong kind reads as the default.
    reread.setExtra(QStringLiteral("windowOpacity"), QStringLiteral("opaque"));
    QCOMPARE(reread.windowOpacity(), 1.0);
}

void SettingsTest::changesAreAnnounced()
{
    QSignalSpy changes(m_settings.get(), &Settings::changed);
    m_settings->setText(SettingKey::llmProvider, QStringLiteral("claude"));
    m_settings->setText(SettingKey::llmProvider, QStringLiteral("claude")); // unchanged: quiet
    m_settings->setBoolean(SettingKey::autoScroll, false);
    m_settings->remove(SettingKey::selectedContext); // absent already: quiet
    m_settings->setText(SettingKey::selectedContext, QStringLiteral("X"));
    m_settings->remove(SettingKey::selectedContext);
    QList<SettingKey> keys;
    for (const QList<QVariant>& change : changes) {
        keys.append(change.at(0).value<SettingKey>());
    }
    QCOMPARE(keys,
        (QList<SettingKey> { SettingKey::llmProvider, SettingKey::autoScroll, SettingKey::selectedContext,
            SettingKey::selectedContext }));
}

void SettingsTest::suggestionSettings_data()
{
    QTest::addColumn<QString>("provider"); // null: key absent
    QTest::addColumn<QString>("model"); // null: key absent
    QTest::addColumn<LLMProvider>("resolved");
    QTest::addColumn<QString>("resolvedModel");
    QTest::addColumn<QString>("askedAccount"); // empty: the keychain is not asked

    const auto row = [](const char* name, const QString& provider, const QString& model, LLMProvider resolved,
                         const QString& resolvedModel, const QString& asked) {
        QTest::newRow(name) << provider << model << resolved << resolvedModel << asked;
    };
    const QString claude = QStringLiteral("claude");
    const QString openai = QStringLiteral("openai");
    const QString haiku = QStringLiteral("claude-haiku-5-5");
    row("claude, model empty", claude, QStringLiteral(""), LLMProvider::claude, haiku, claude);
    row("claude, blanks kept", claude, QStringLiteral("  c  "), LLMProvider::claude, QStringLiteral("  c  "), claude);
    row("openai, model absent", openai, QString(), LLMProvider::openai, QStringLiteral("gpt-5.4-mini"), openai);
    row("capital C is on-device", QStringLiteral("Claude"), QStringLiteral("x"), LLMProvider::onDevice, {}, {});
    row("unknown provider", QStringLiteral("gemini"), QString(), LLMProvider::onDevice, QString(), QString());
    row("onDevice with a model", QStringLiteral("onDevice"), QStringLiteral("llama3"), LLMProvider::onDevice,
        QStringLiteral("llama3"), QString());
    row("provider absent", QString(), QString(), LLMProvider::onDevice, QString(), QString());
}

void SettingsTest::suggestionSettings()
{
    QFETCH(QString, provider);
    QFETCH(QString, model);
    QFETCH(LLMProvider, resolved);
    QFETCH(QString, resolvedModel);
    QFETCH(QString, askedAccount);
    if (!provider.isNull()) {
        m_settings->setText(SettingKey::llmProvider, provider);
    }
    if (!model.isNull()) {
        // Under the key of the provider as written: "llmModel.Claude" belongs to no provider.
        m_settings->setExtra(QStringLiteral("llmModel.") + provider, model);
    }
    FakeKeys keys;
    keys.keys = { { QStringLiteral("claude"), QStringLiteral("sk-ant") },
        { QStringLiteral("openai"), QStringLiteral("sk-oa") } };
    const auto settings = QCoro::waitFor(languageModelSettings::loadSuggestionSettings(*m_settings, {}, keys.reader()));
    QCOMPARE(settings.provider, resolved);
    QCOMPARE(settings.model, resolvedModel);
    if (askedAccount.isEmpty()) {
        QVERIFY(keys.asked.isEmpty());
        QCOMPARE(settings.apiKey, std::optional<QString>());
    } else {
        QCOMPARE(keys.asked, QStringList { askedAccount });
        QCOMPARE(settings.apiKey, std::optional(keys.keys[askedAccount]));
    }
}

void SettingsTest::improvementSettings_data()
{
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("resolves");
    QTest::addColumn<LLMProvider>("resolved");
    QTest::addColumn<QString>("resolvedModel");

    QTest::newRow("claude default") << QStringLiteral("claude") << QStringLiteral("") << true << LLMProvider::claude
                                    << QStringLiteral("claude-opus-5-5");
    QTest::newRow("openai stored, blanks kept")
        << QStringLiteral("openai") << QStringLiteral(" o ") << true << LLMProvider::openai << QStringLiteral(" o ");
    QTest::newRow("onDevice") << QStringLiteral("onDevice") << QString() << false << LLMProvider::onDevice << QString();
    QTest::newRow("capital C") << QStringLiteral("Claude") << QString() << false << LLMProvider::onDevice << QString();
}

void SettingsTest::improvementSettings()
{
    QFETCH(QString, provider);
    QFETCH(QString, model);
    QFETCH(bool, resolves);
    QFETCH(LLMProvider, resolved);
    QFETCH(QString, resolvedModel);
    if (!provider.isNull()) {
        m_settings->setText(SettingKey::llmProvider, provider);
    }
    if (!model.isNull()) {
        m_settings->setExtra(QStringLiteral("improvementModel.") + provider, model);
    }
    // Suggestion models never leak into improvements.
    m_settings->setExtra(QStringLiteral("llmModel.") + provider, QStringLiteral("suggestion-model"));
    FakeKeys keys;
    keys.keys = { { QStringLiteral("claude"), QStringLiteral("sk-ant") },
        { QStringLiteral("openai"), QStringLiteral("sk-oa") } };
    const auto settings = QCoro::waitFor(languageModelSettings::loadImprovementSettings(*m_settings, keys.reader()));
    QCOMPARE(settings.has_value(), resolves);
    if (!resolves) {
        QVERIFY(keys.asked.isEmpty());
        return;
    }
    QCOMPARE(settings->provider, resolved);
    QCOMPARE(settings->model, resolvedModel);
    QCOMPARE(settings->apiKey, std::optional(keys.keys[provider]));

    // A missing item is a missing key, not a failure.
    keys.keys.clear();
    QCOMPARE(QCoro::waitFor(languageModelSettings::loadImprovementSettings(*m_settings, keys.reader()))->apiKey,
        std::optional<QString>());
}

void SettingsTest::migrationOnFreshStore_data()
{
    QTest::addColumn<QString>("prompt"); // null: never set
    QTest::addColumn<QString>("notes"); // null: never set
    QTest::addColumn<QString>("instructions");
    const QString interview = assistantTemplate::defaultInstructions(AssistantTemplate::interview);
    QTest::newRow("nothing set") << QString() << QString() << interview;
    QTest::newRow("empty prompt") << QStringLiteral("") << QStringLiteral("") << interview;
    QTest::newRow("old prompt kept as written")
        << QStringLiteral("  Be short.\n") << QString() << QStringLiteral("  Be short.\n");
    QTest::newRow("call notes become notes.md") << QString() << QStringLiteral("My CV:\n- C++") << interview;
}

void SettingsTest::migrationOnFreshStore()
{
    QFETCH(QString, prompt);
    QFETCH(QString, notes);
    QFETCH(QString, instructions);
    if (!prompt.isNull()) {
        m_settings->setText(SettingKey::suggestionPrompt, prompt);
    }
    if (!notes.isNull()) {
        m_settings->setText(SettingKey::callNotes, notes);
    }
    const auto migrated = migration::migrateIfNeeded(*m_context, *m_settings);
    QVERIFY(migrated);
    QVERIFY(*migrated);
    const Assistant& general = **migrated;
    QCOMPARE(general.name, QStringLiteral("General"));
    QCOMPARE(general.templateText, QStringLiteral("blank"));
    QCOMPARE(general.instructions, instructions);
    QVERIFY(m_settings->assistantsMigrated());
    QVERIFY(!m_context->hasChanges());

    auto reader = m_store->newContext();
    QCOMPARE(reader->fetchOne<Assistant>(general.id).value(), std::optional(general));
    const auto files = reader->fetch<KnowledgeFile>(Query::ofAssistant(general.id)).value();
    if (notes.isEmpty()) {
        QCOMPARE(files.size(), size_t(0));
    } else {
        QCOMPARE(files.size(), size_t(1));
        QCOMPARE(files.front().name, QStringLiteral("notes.md"));
        QCOMPARE(files.front().content, notes);
        QCOMPARE(files.front().context, std::optional<QUuid>());
    }
    // The old keys are only read.
    QCOMPARE(m_settings->text(SettingKey::suggestionPrompt), prompt.isNull() ? std::nullopt : std::optional(prompt));
}

void SettingsTest::migrationSkipsExistingAssistants()
{
    m_context->insert(makeAssistant(QStringLiteral("Existing"), 0));
    QVERIFY(m_context->save());
    m_settings->setText(SettingKey::callNotes, QStringLiteral("notes"));
    for (int run = 0; run < 2; ++run) {
        const auto migrated = migration::migrateIfNeeded(*m_context, *m_settings);
        QVERIFY(migrated);
        QVERIFY(!*migrated);
        QVERIFY(!m_settings->contains(SettingKey::assistantsMigrated));
    }
    QCOMPARE(m_context->count<Assistant>().value(), 1);
    QCOMPARE(m_context->count<KnowledgeFile>().value(), 0);

    // Once migrated, even with every assistant gone, the flag stops a second "General".
    m_context->remove<Assistant>(m_context->fetch<Assistant>(Query::all()).value().front().id);
    QVERIFY(m_context->save());
    m_settings->setBoolean(SettingKey::assistantsMigrated, true);
    QVERIFY(!migration::migrateIfNeeded(*m_context, *m_settings).value());
    QCOMPARE(m_context->count<Assistant>().value(), 0);
}

void SettingsTest::failingMigrationSave()
{
    // A store whose Assistant table refuses every insert makes the save fail for real.
    m_store->database().exec("CREATE TRIGGER refuse BEFORE INSERT ON \"Assistant\" "
                             "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
    m_settings->setText(SettingKey::callNotes, QStringLiteral("notes"));
    const auto migrated = migration::migrateIfNeeded(*m_context, *m_settings);
    QVERIFY(!migrated);
    QCOMPARE(migrated.error().message, QStringLiteral("disk says no"));
    QVERIFY(!m_settings->contains(SettingKey::assistantsMigrated));
    QVERIFY(!m_context->hasChanges());
    QCOMPARE(m_context->count<KnowledgeFile>().value(), 0);
    // Retried at the next start, once the store takes writes again.
    m_store->database().exec("DROP TRIGGER refuse");
    QVERIFY(migration::migrateIfNeeded(*m_context, *m_settings).value());
    QVERIFY(m_settings->assistantsMigrated());
    QCOMPARE(m_context->count<KnowledgeFile>().value(), 1);
}

void SettingsTest::resolveSelection_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("selectedAssistant"); // a name, "garbage", or null for absent
    QTest::addColumn<QString>("selectedContext"); // a name, or null for absent
    QTest::addColumn<QString>("assistant"); // expected name, empty for none
    QTest::addColumn<QString>("context"); // expected name, empty for none

    // Assistants: "Old" (oldest, active), "Newer" (active), "Archived"; contexts of "Newer":
    // "Lead" (active) and "Gone" (archived); "Other" belongs to "Old".
    const auto row = [](const char* name, const char* setup, const char* selectedAssistant, const char* selectedContext,
                         const char* assistant, const char* context) {
        QTest::newRow(name) << QString::fromLatin1(setup) << QString::fromLatin1(selectedAssistant)
                            << QString::fromLatin1(selectedContext) << QString::fromLatin1(assistant)
                            << QString::fromLatin1(context);
    };
    row("nothing remembered: oldest active", "all", nullptr, nullptr, "Old", "");
    row("remembered active one", "all", "Newer", "Lead", "Newer", "Lead");
    row("archived selected: oldest active", "all", "Archived", nullptr, "Old", "");
    row("not a uuid", "all", "garbage", nullptr, "Old", "");
    row("deleted assistant", "all", "deleted", nullptr, "Old", "");
    row("archived context counts as none", "all", "Newer", "Gone", "Newer", "");
    row("context of another assistant", "all", "Newer", "Other", "Newer", "");
    row("context without assistant choice", "all", nullptr, "Other", "Old", "Other");
    row("no active assistant, context remembered", "archived only", "Archived", "Gone", "", "");
    row("empty store", "none", nullptr, nullptr, "", "");
}

void SettingsTest::resolveSelection()
{
    QFETCH(QString, setup);
    QFETCH(QString, selectedAssistant);
    QFETCH(QString, selectedContext);
    QFETCH(QString, assistant);
    QFETCH(QString, context);

    std::map<QString, QUuid> ids { { QStringLiteral("garbage"), QUuid() },
        { QStringLiteral("deleted"), uuid::create() } };
    Assistant old = makeAssistant(QStringLiteral("Old"), 0);
    Assistant newer = makeAssistant(QStringLiteral("Newer"), 10);
    Assistant archived = makeAssistant(QStringLiteral("Archived"), -10); // older than all
    archived.archived = true;
    CallContext lead = CallContext::make(QStringLiteral("Lead"), newer);
    CallContext gone = CallContext::make(QStringLiteral("Gone"), newer);
    gone.archived = true;
    CallContext other = CallContext::make(QStringLiteral("Other"), old);
    if (setup == QLatin1String("all")) {
        for (const Assistant& a : { newer, old, archived }) {
            m_context->insert(a);
            ids[a.name] = a.id;
        }
        for (const CallContext& c : { lead, gone, other }) {
            m_context->insert(c);
            ids[c.name] = c.id;
        }
    } else if (setup == QLatin1String("archived only")) {
        m_context->insert(archived);
        CallContext archivedsContext = CallContext::make(QStringLiteral("Gone"), archived);
        m_context->insert(archivedsContext);
        ids[archived.name] = archived.id;
        ids[QStringLiteral("Gone")] = archivedsContext.id;
    }
    QVERIFY(m_context->save());
    if (!selectedAssistant.isNull()) {
        m_settings->setText(SettingKey::selectedAssistant,
            selectedAssistant == QLatin1String("garbage") ? QStringLiteral("not-a-uuid")
                                                          : uuid::toText(ids.at(selectedAssistant)).toLower());
    }
    if (!selectedContext.isNull()) {
        m_settings->setText(SettingKey::selectedContext, uuid::toText(ids.at(selectedContext)));
    }
    const QStringList keysBefore = QSettings(m_path, QSettings::IniFormat).allKeys();

    const Selection chosen = selection::resolveSelection(*m_context, *m_settings);
    QCOMPARE(chosen.assistant ? chosen.assistant->name : QString(), assistant);
    QCOMPARE(chosen.context ? chosen.context->name : QString(), context);
    QCOMPARE(QSettings(m_path, QSettings::IniFormat).allKeys(), keysBefore); // nothing written back
}

void SettingsTest::saveSelection()
{
    const Assistant assistant = makeAssistant(QStringLiteral("A"), 0);
    const CallContext context = CallContext::make(QStringLiteral("C"), assistant);
    selection::saveSelection(assistant, context, *m_settings);
    QCOMPARE(m_settings->selectedAssistant(), uuid::toText(assistant.id));
    QCOMPARE(m_settings->selectedContext(), std::optional(uuid::toText(context.id)));
    selection::saveSelection(assistant, std::nullopt, *m_settings);
    QVERIFY(!m_settings->contains(SettingKey::selectedContext));
}

void SettingsTest::lookupSelection()
{
    Assistant assistant = makeAssistant(QStringLiteral("A"), 0);
    assistant.archived = true; // recorded calls find their assistant archived or not
    Assistant other = makeAssistant(QStringLiteral("B"), 1);
    CallContext archivedContext = CallContext::make(QStringLiteral("C"), assistant);
    archivedContext.archived = true;
    CallContext foreign = CallContext::make(QStringLiteral("D"), other);
    m_context->insert(assistant);
    m_context->insert(other);
    m_context->insert(archivedContext);
    m_context->insert(foreign);
    QVERIFY(m_context->save());

    auto found = selection::lookupSelection(assistant.id, archivedContext.id, *m_context);
    QCOMPARE(found.assistant, std::optional(assistant));
    QCOMPARE(found.context, std::optional(archivedContext));
    found = selection::lookupSelection(assistant.id, foreign.id, *m_context);
    QCOMPARE(found.assistant, std::optional(assistant));
    QVERIFY(!found.context);
    found = selection::lookupSelection(std::nullopt, archivedContext.id, *m_context);
    QVERIFY(!found.assistant && !found.context);
    found = selection::lookupSelection(uuid::create(), archivedContext.id, *m_context);
    QVERIFY(!found.assistant && !found.context);
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "SettingsTest.moc"
