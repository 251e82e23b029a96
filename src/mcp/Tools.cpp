#include "mcp/Tools.h"

#include "common/Dates.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "mcp/JsonText.h"
#include "records/KnowledgeImport.h"
#include "store/CallRating.h"
#include "store/CallSearch.h"
#include "store/StoreContext.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <cmath>
#include <vector>

namespace tools {

namespace {

// ---- catalogue ----

struct Property {
    const char* name;
    const char* type;
};

// ---- argument readers ----

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

Result<QString> requiredString(const QJsonObject& arguments, const char* name)
{
    const QJsonValue value = arguments.value(QLatin1String(name));
    if (!value.isString() || text::trimSpacesAndTabs(value.toString()).isEmpty()) {
        return fail(QStringLiteral("Missing argument ") + key(name) + u'.');
    }
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject& arguments, const char* name)
{
    const QJsonValue value = arguments.value(QLatin1String(name));
    if (!value.isString()) {
        return std::nullopt;
    }
    return value.toString();
}

bool given(const QJsonObject& arguments, const char* name)
{
    const QJsonValue value = arguments.value(QLatin1String(name));
    return !value.isUndefined() && !value.isNull();
}

bool flag(const QJsonObject& arguments, const char* name)
{
    const QJsonValue value = arguments.value(QLatin1String(name));
    return value.isBool() && value.toBool();
}

// ---- finders ----

template <typename R> struct Kind;
template <> struct Kind<Assistant> {
    static constexpr const char* argument = "assistant";
    static constexpr const char* word = "assistant";
    static constexpr const char* notFound = "Assistant not found: ";
};
template <> struct Kind<CallContext> {
    static constexpr const char* argument = "context";
    static constexpr const char* word = "context";
    static constexpr const char* notFound = "Context not found: ";
};
template <> struct Kind<Call> {
    static constexpr const char* argument = "call";
    static constexpr const char* notFound = "Call not found: ";
};
template <> struct Kind<KnowledgeFile> {
    static constexpr const char* argument = "file_id";
    static constexpr const char* notFound = "File not found: ";
};
template <> struct Kind<QAItem> {
    static constexpr const char* argument = "qa";
    static constexpr const char* notFound = "Question and answer not found: ";
};

// An assistant or context by UUID, else by name ignoring letter case; archived ones count.
template <typename R> Result<R> findNamed(StoreContext& context, const QJsonObject& arguments)
{
    const auto reference = requiredString(arguments, Kind<R>::argument);
    if (!reference) {
        return std::unexpected(reference.error());
    }
    const auto all = context.fetch<R>(Query::all(Order::oldestFirst));
    if (!all) {
        return std::unexpected(all.error());
    }
    if (const auto id = uuid::parse(*reference)) {
        for (const R& record : *all) {
            if (record.id == *id) {
                return record;
            }
        }
    }
    std::vector<const R*> matches;
    for (const R& record : *all) {
        if (record.name.compare(*reference, Qt::CaseInsensitive) == 0) {
            matches.push_back(&record);
        }
    }
    if (matches.empty()) {
        return fail(QLatin1String(Kind<R>::notFound) + *reference + u'.');
    }
    if (matches.size() > 1) {
        QStringList listed;
        for (const R* match : matches) {
            listed.append(match->name + QStringLiteral(" (") + uuid::toText(match->id) + u')');
        }
        return fail(QStringLiteral("More than one ") + QLatin1String(Kind<R>::word) + QStringLiteral(" named ")
            + *reference + QStringLiteral(": ") + listed.join(QStringLiteral(", ")));
    }
    return *matches.front();
}

// A call, knowledge file or Q&A item by UUID only.
template <typename R> Result<R> findById(StoreContext& context, const QJsonObject& arguments)
{
    const auto reference = requiredString(arguments, Kind<R>::argument);
    if (!reference) {
        return std::unexpected(reference.error());
    }
    const auto notFound = [&] { return fail(QLatin1String(Kind<R>::notFound) + *reference + u'.'); };
    const auto id = uuid::parse(*reference);
    if (!id) {
        return notFound();
    }
    const auto record = context.fetchOne<R>(*id);
    if (!record) {
        return std::unexpected(record.error());
    }
    if (!*record) {
        return notFound();
    }
    return **record;
}

enum class Owner { assistant, context };

Result<Owner> exactlyOneOwner(const QJsonObject& arguments)
{
    const bool assistant = given(arguments, "assistant");
    if (assistant == given(arguments, "context")) {
        return fail(QStringLiteral("Give assistant or context, not both."));
    }
    return assistant ? Owner::assistant : Owner::context;
}

// ---- checks ----

Result<QString> checkQuestion(const QJsonValue& value)
{
    if (!value.isString() || value.toString().trimmed().isEmpty()) {
        return fail(QStringLiteral("The question cannot be empty."));
    }
    return value.toString();
}

// Nothing when no language was given; "" is a value that clears it.
Result<std::optional<QString>> checkLanguage(const QJsonObject& arguments)
{
    const QJsonValue value = arguments.value(QLatin1String("language"));
    if (value.isUndefined() || value.isNull()) {
        return std::optional<QString>();
    }
    const QString language = value.toString();
    if (!value.isString() || !language::isStoredLanguage(language)) {
        return fail(QStringLiteral("language must be pt, en or empty."));
    }
    return std::optional<QString>(language);
}

// ---- result shapes ----

// A result object, plus members already written as JSON text: a transcript's lines are many,
// and writing them directly is several times faster than building a JSON object per line.
struct ToolValue {
    QJsonObject object;
    QByteArray writtenMembers; // `"name":value` pairs joined by commas, or empty

    ToolValue(QJsonObject o = {})
        : object(std::move(o))
    {
    }

    QByteArray text() const
    {
        QByteArray json = jsonText::write(object);
        if (!writtenMembers.isEmpty()) {
            json.chop(1); // the closing brace
            json += (object.isEmpty() ? "" : ",") + writtenMembers + '}';
        }
        return json;
    }
};

QByteArray quoted(const QString& text)
{
    return '"' + jsonText::escapedString(text.toUtf8()) + '"';
}

QString idText(const QUuid& id)
{
    return uuid::toText(id);
}

QJsonValue nameOrNull(const std::optional<QString>& name)
{
    return name ? QJsonValue(*name) : QJsonValue(QJsonValue::Null);
}

QJsonObject assistantSummary(const Assistant& assistant)
{
    return QJsonObject { { QStringLiteral("id"), idText(assistant.id) }, { QStringLiteral("name"), assistant.name },
        { QStringLiteral("template"), assistant.templateText }, { QStringLiteral("archived"), assistant.archived } };
}

QJsonObject fileSummary(const KnowledgeFile& file)
{
    return QJsonObject { { QStringLiteral("id"), idText(file.id) }, { QStringLiteral("name"), file.name },
        { QStringLiteral("words"), static_cast<qint64>(text::wordCount(file.content)) } };
}

QJsonObject fileWithContent(const KnowledgeFile& file)
{
    QJsonObject object = fileSummary(file);
    object.insert(QStringLiteral("content"), file.content);
    return object;
}

QJsonObject qaObject(const QAItem& item)
{
    return QJsonObject { { QStringLiteral("id"), idText(item.id) }, { QStringLiteral("question"), item.question },
        { QStringLiteral("answer"), item.answer }, { QStringLiteral("language"), item.language },
        { QStringLiteral("source"), item.source }, { QStringLiteral("created_at"), dates::isoText(item.createdAt) },
        { QStringLiteral("updated_at"), dates::isoText(item.updatedAt) } };
}

Result<QJsonObject> assistantDetail(StoreContext& context, const Assistant& assistant)
{
    const auto files = context.fetch<KnowledgeFile>(Query::ofAssistant(assistant.id));
    const auto items = context.fetch<QAItem>(Query::ofAssistant(assistant.id));
    const auto contexts = context.fetch<CallContext>(Query::ofAssistant(assistant.id));
    if (!files || !items || !contexts) {
        return std::unexpected(!files ? files.error() : !items ? items.error() : contexts.error());
    }
    QJsonArray fileArray;
    for (const KnowledgeFile& file : *files) {
        fileArray.append(fileSummary(file));
    }
    QJsonArray qaArray;
    for (const QAItem& item : *items) {
        qaArray.append(qaObject(item));
    }
    QJsonArray contextArray;
    for (const CallContext& callContext : *contexts) {
        contextArray.append(QJsonObject { { QStringLiteral("id"), idText(callContext.id) },
            { QStringLiteral("name"), callContext.name }, { QStringLiteral("stage"), callContext.stage },
            { QStringLiteral("archived"), callContext.archived } });
    }
    QJsonObject object = assistantSummary(assistant);
    object.insert(QStringLiteral("instructions"), assistant.instructions);
    object.insert(QStringLiteral("style_notes"), assistant.styleNotes);
    object.insert(QStringLiteral("files"), fileArray);
    object.insert(QStringLiteral("qa"), qaArray);
    object.insert(QStringLiteral("contexts"), contextArray);
    return object;
}

// Names of owners, looked up once per request however many records name them.
class OwnerNames {
public:
    explicit OwnerNames(StoreContext& context)
        : m_context(context)
    {
    }

    template <typename R> Result<std::optional<QString>> nameOf(const std::optional<QUuid>& id)
    {
        if (!id) {
            return std::optional<QString>();
        }
        auto& cache = cacheOf<R>();
        if (auto it = cache.constFind(*id); it != cache.constEnd()) {
            return *it;
        }
        const auto record = m_context.fetchOne<R>(*id);
        if (!record) {
            return std::unexpected(record.error());
        }
        std::optional<QString> name = *record ? std::optional<QString>((*record)->name) : std::nullopt;
        cache.insert(*id, name);
        return name;
    }

private:
    template <typename R> QHash<QUuid, std::optional<QString>>& cacheOf()
    {
        if constexpr (std::is_same_v<R, Assistant>) {
            return m_assistants;
        } else {
            return m_contexts;
        }
    }

    StoreContext& m_context;
    QHash<QUuid, std::optional<QString>> m_assistants;
    QHash<QUuid, std::optional<QString>> m_contexts;
};

Result<QJsonObject> contextSummary(StoreContext& context, const CallContext& callContext)
{
    QJsonObject object { { QStringLiteral("id"), idText(callContext.id) }, { QStringLiteral("name"), callContext.name },
        { QStringLiteral("stage"), callContext.stage }, { QStringLiteral("archived"), callContext.archived } };
    if (callContext.assistant) {
        const auto owner = context.fetchOne<Assistant>(*callContext.assistant);
        if (!owner) {
            return std::unexpected(owner.error());
        }
        if (*owner) {
            object.insert(QStringLiteral("assistant"),
                QJsonObject {
                    { QStringLiteral("id"), idText((*owner)->id) }, { QStringLiteral("name"), (*owner)->name } });
        }
    }
    return object;
}

Result<QJsonObject> contextDetail(StoreContext& context, const CallContext& callContext)
{
    auto object = contextSummary(context, callContext);
    const auto files = context.fetch<KnowledgeFile>(Query::ofContext(callContext.id));
    if (!object || !files) {
        return std::unexpected(!object ? object.error() : files.error());
    }
    QJsonArray fileArray;
    for (const KnowledgeFile& file : *files) {
        fileArray.append(fileWithContent(file));
    }
    object->insert(QStringLiteral("files"), fileArray);
    return object;
}

enum class CallVariant { preview, withSummary };

Result<QJsonObject> callObject(OwnerNames& names, const Call& call, CallVariant variant)
{
    const auto assistantName = names.nameOf<Assistant>(call.assistant);
    const auto contextName = names.nameOf<CallContext>(call.context);
    if (!assistantName || !contextName) {
        return std::unexpected(!assistantName ? assistantName.error() : contextName.error());
    }
    const CallOutcome outcome = call.outcomeValue();
    QJsonObject object {
        { QStringLiteral("id"), idText(call.id) },
        { QStringLiteral("started_at"), dates::isoText(call.startedAt) },
        { QStringLiteral("duration_min"), call.durationMinutes() },
        { QStringLiteral("assistant"), nameOrNull(*assistantName) },
        { QStringLiteral("context"), nameOrNull(*contextName) },
        { QStringLiteral("outcome"),
            outcome == CallOutcome::none ? QStringLiteral("none") : callOutcome::rawText(outcome) },
        { QStringLiteral("outcome_note"), call.outcomeNote },
    };
    if (variant == CallVariant::preview) {
        object.insert(QStringLiteral("summary_preview"), text::graphemePrefix(call.summary, 200));
        return object;
    }
    object.insert(QStringLiteral("summary"), call.summary);
    object.insert(QStringLiteral("archive_file"), call.archiveFile);
    return object;
}

// The full call: lines and suggestions are written as text (see ToolValue).
Result<ToolValue> fullCallObject(OwnerNames& names, const Call& call)
{
    auto base = callObject(names, call, CallVariant::withSummary);
    if (!base) {
        return std::unexpected(base.error());
    }
    ToolValue value(*base);
    QByteArray& out = value.writtenMembers;
    const QList<CallLine> lines = call.lines();
    out.reserve(lines.size() * 120 + 64);
    out += "\"lines\":[";
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const CallLine& line = lines.at(i);
        out += (i ? ",{\"time\":" : "{\"time\":") + quoted(dates::isoText(line.date))
            + (line.fromMe ? ",\"speaker\":\"You\",\"text\":" : ",\"speaker\":\"Other\",\"text\":") + quoted(line.text)
            + '}';
    }
    out += "],\"suggestions\":[";
    const QList<CallSuggestion> suggestions = call.suggestions();
    for (qsizetype i = 0; i < suggestions.size(); ++i) {
        const CallSuggestion& suggestion = suggestions.at(i);
        out += (i ? ",{\"time\":" : "{\"time\":") + quoted(dates::isoText(suggestion.date))
            + ",\"text\":" + quoted(suggestion.text) + '}';
    }
    out += ']';
    return value;
}

// ---- handlers ----

using Handler = Result<ToolValue> (*)(StoreContext&, const QJsonObject&);

#define TRY(name, expression)                                                                                          \
    auto name = (expression);                                                                                          \
    if (!name) {                                                                                                       \
        return std::unexpected(name.error());                                                                          \
    }

Result<QJsonObject> listAssistants(StoreContext& context, const QJsonObject& arguments)
{
    TRY(assistants, context.fetch<Assistant>(Query::all(Order::oldestFirst)));
    const bool includeArchived = flag(arguments, "include_archived");
    QJsonArray array;
    for (const Assistant& assistant : *assistants) {
        if (includeArchived || !assistant.archived) {
            array.append(assistantSummary(assistant));
        }
    }
    return QJsonObject { { QStringLiteral("assistants"), array } };
}

Result<QJsonObject> getAssistant(StoreContext& context, const QJsonObject& arguments)
{
    TRY(assistant, findNamed<Assistant>(context, arguments));
    return assistantDetail(context, *assistant);
}

Result<QJsonObject> createAssistant(StoreContext& context, const QJsonObject& arguments)
{
    TRY(name, requiredString(arguments, "name"));
    const QString templateText = optionalString(arguments, "template").value_or(QStringLiteral("blank"));
    const auto from = assistantTemplate::parse(templateText);
    if (!from) {
        return fail(QStringLiteral("Unknown template: ") + templateText
            + QStringLiteral(". Use interview, projects, prospecting or blank."));
    }
    Assistant assistant = Assistant::make(*name, *from);
    if (const auto instructions = optionalString(arguments, "instructions")) {
        assistant.instructions = *instructions;
    }
    context.insert(assistant);
    return assistantDetail(context, assistant);
}

// A new name, when given as text: blank (spaces and tabs only) is refused.
Result<std::optional<QString>> newName(const QJsonObject& arguments)
{
    const auto name = optionalString(arguments, "name");
    if (name && text::trimSpacesAndTabs(*name).isEmpty()) {
        return fail(QStringLiteral("Missing argument name."));
    }
    return name;
}

Result<QJsonObject> updateAssistant(StoreContext& context, const QJsonObject& arguments)
{
    TRY(assistant, findNamed<Assistant>(context, arguments));
    TRY(name, newName(arguments));
    if (*name) {
        assistant->name = **name;
    }
    if (const auto instructions = optionalString(arguments, "instructions")) {
        assistant->instructions = *instructions;
    }
    if (const auto styleNotes = optionalString(arguments, "style_notes")) {
        assistant->styleNotes = *styleNotes;
    }
    context.update(*assistant);
    return assistantDetail(context, *assistant);
}

Result<QJsonObject> listContexts(StoreContext& context, const QJsonObject& arguments)
{
    std::optional<QUuid> owner;
    if (given(arguments, "assistant")) {
        TRY(assistant, findNamed<Assistant>(context, arguments));
        owner = assistant->id;
    }
    TRY(contexts, context.fetch<CallContext>(owner ? Query::ofAssistant(*owner) : Query::all(Order::oldestFirst)));
    const bool includeArchived = flag(arguments, "include_archived");
    QJsonArray array;
    for (const CallContext& callContext : *contexts) {
        if (includeArchived || !callContext.archived) {
            TRY(summary, contextSummary(context, callContext));
            array.append(*summary);
        }
    }
    return QJsonObject { { QStringLiteral("contexts"), array } };
}

Result<QJsonObject> getContext(StoreContext& context, const QJsonObject& arguments)
{
    TRY(callContext, findNamed<CallContext>(context, arguments));
    return contextDetail(context, *callContext);
}

Result<QJsonObject> createContext(StoreContext& context, const QJsonObject& arguments)
{
    TRY(assistant, findNamed<Assistant>(context, arguments));
    TRY(name, requiredString(arguments, "name"));
    if (assistant->archived) {
        return fail(QStringLiteral("Assistant is archived: ") + assistant->name + u'.');
    }
    CallContext callContext = CallContext::make(*name, *assistant);
    callContext.stage = optionalString(arguments, "stage").value_or(QString());
    context.insert(callContext);
    return contextDetail(context, callContext);
}

Result<QJsonObject> updateContext(StoreContext& context, const QJsonObject& arguments)
{
    TRY(callContext, findNamed<CallContext>(context, arguments));
    TRY(name, newName(arguments));
    if (*name) {
        callContext->name = **name;
    }
    if (const auto stage = optionalString(arguments, "stage")) {
        callContext->stage = *stage;
    }
    context.update(*callContext);
    return contextDetail(context, *callContext);
}

// "~" and "~/..." name the home folder; a relative path is taken from the working folder.
QString localPath(const QString& path)
{
    QString expanded = path;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
        expanded = QDir::homePath() + path.mid(1);
    }
    return QFileInfo(expanded).absoluteFilePath();
}

Result<QJsonObject> addFile(StoreContext& context, const QJsonObject& arguments)
{
    TRY(owner, exactlyOneOwner(arguments));
    QString name;
    QString content;
    if (const auto path = optionalString(arguments, "path")) {
        TRY(imported, knowledgeImport::readFile(localPath(*path)));
        name = imported->name;
        content = imported->content;
    } else {
        TRY(givenName, requiredString(arguments, "name"));
        if (!knowledgeImport::hasAcceptedExtension(*givenName)) {
            return std::unexpected(knowledgeImport::error(knowledgeImport::Failure::unsupportedType));
        }
        if (!given(arguments, "content")) {
            return fail(QStringLiteral("Missing argument content or path."));
        }
        TRY(checked, knowledgeImport::checkText(arguments.value(QLatin1String("content"))));
        name = *givenName;
        content = *checked;
    }
    KnowledgeFile file = KnowledgeFile::make(name, content);
    if (*owner == Owner::assistant) {
        TRY(assistant, findNamed<Assistant>(context, arguments));
        file.assistant = assistant->id;
    } else {
        TRY(callContext, findNamed<CallContext>(context, arguments));
        file.context = callContext->id;
    }
    context.insert(file);
    return fileSummary(file);
}

Result<QJsonObject> updateFile(StoreContext& context, const QJsonObject& arguments)
{
    TRY(file, findById<KnowledgeFile>(context, arguments));
    const QJsonValue content = arguments.value(QLatin1String("content"));
    if (!content.isString() || content.toString().isEmpty()) {
        return std::unexpected(knowledgeImport::error(knowledgeImport::Failure::empty));
    }
    TRY(checked, knowledgeImport::checkText(content));
    file->content = *checked;
    file->importedAt = dates::now();
    context.update(*file);
    return fileSummary(*file);
}

Result<QJsonObject> removeFile(StoreContext& context, const QJsonObject& arguments)
{
    TRY(file, findById<KnowledgeFile>(context, arguments));
    context.remove<KnowledgeFile>(file->id);
    return QJsonObject { { QStringLiteral("id"), idText(file->id) }, { QStringLiteral("removed"), true } };
}

Result<QJsonObject> setArchived(StoreContext& context, const QJsonObject& arguments, bool archived)
{
    TRY(owner, exactlyOneOwner(arguments));
    QUuid id;
    if (*owner == Owner::assistant) {
        TRY(assistant, findNamed<Assistant>(context, arguments));
        assistant->archived = archived;
        context.update(*assistant);
        id = assistant->id;
    } else {
        TRY(callContext, findNamed<CallContext>(context, arguments));
        callContext->archived = archived;
        context.update(*callContext);
        id = callContext->id;
    }
    return QJsonObject { { QStringLiteral("id"), idText(id) }, { QStringLiteral("archived"), archived } };
}

Result<QJsonObject> archive(StoreContext& context, const QJsonObject& arguments)
{
    return setArchived(context, arguments, true);
}

Result<QJsonObject> restore(StoreContext& context, const QJsonObject& arguments)
{
    return setArchived(context, arguments, false);
}

constexpr int defaultCallLimit = 20;
constexpr int maxCallLimit = 200;

Result<int> callLimit(const QJsonObject& arguments)
{
    const QJsonValue value = arguments.value(QLatin1String("limit"));
    if (value.isUndefined() || value.isNull()) {
        return defaultCallLimit;
    }
    const double number = value.toDouble(); // 0 for anything that is not a number
    if (!value.isDouble() || std::trunc(number) != number || number < 1 || number > maxCallLimit) {
        return fail(QStringLiteral("limit must be from 1 to 200."));
    }
    return static_cast<int>(number);
}

Result<QJsonObject> listCalls(StoreContext& context, const QJsonObject& arguments)
{
    TRY(owner, exactlyOneOwner(arguments));
    TRY(limit, callLimit(arguments));
    Query query;
    if (*owner == Owner::assistant) {
        TRY(assistant, findNamed<Assistant>(context, arguments));
        query = Query::ofAssistant(assistant->id, Order::newestFirst);
    } else {
        TRY(callContext, findNamed<CallContext>(context, arguments));
        query = Query::ofContext(callContext->id, Order::newestFirst);
    }
    query.limit = *limit;
    query.withoutBlobs = true; // a preview shows no lines or suggestions
    TRY(calls, context.fetch<Call>(query));
    OwnerNames names(context);
    QJsonArray array;
    for (const Call& call : *calls) {
        TRY(object, callObject(names, call, CallVariant::preview));
        array.append(*object);
    }
    return QJsonObject { { QStringLiteral("calls"), array } };
}

Result<ToolValue> getCall(StoreContext& context, const QJsonObject& arguments)
{
    TRY(call, findById<Call>(context, arguments));
    OwnerNames names(context);
    return fullCallObject(names, *call);
}

// Calls whose lines, summary or note hold the query's words, optionally of one assistant or context.
Result<QJsonObject> searchCalls(StoreContext& context, const QJsonObject& arguments)
{
    TRY(text, requiredString(arguments, "query"));
    if (callSearch::matchExpression(*text).isEmpty()) {
        return fail(QStringLiteral("The query has no words to search for."));
    }
    CallSearchQuery query { *text, std::nullopt, std::nullopt, defaultCallLimit };
    const bool byAssistant = given(arguments, "assistant");
    const bool byContext = given(arguments, "context");
    if (byAssistant && byContext) {
        return fail(QStringLiteral("Give assistant or context, not both."));
    }
    TRY(limit, callLimit(arguments));
    query.limit = *limit;
    if (byAssistant) {
        TRY(assistant, findNamed<Assistant>(context, arguments));
        query.assistant = assistant->id;
    } else if (byContext) {
        TRY(callContext, findNamed<CallContext>(context, arguments));
        query.context = callContext->id;
    }
    TRY(hits, callSearch::find(context, query));
    OwnerNames names(context);
    QJsonArray array;
    for (const CallSearchHit& hit : *hits) {
        TRY(assistantName, names.nameOf<Assistant>(hit.assistant));
        TRY(contextName, names.nameOf<CallContext>(hit.context));
        array.append(QJsonObject {
            { QStringLiteral("id"), idText(hit.call) },
            { QStringLiteral("started_at"), dates::isoText(hit.startedAt) },
            { QStringLiteral("assistant"), nameOrNull(*assistantName) },
            { QStringLiteral("context"), nameOrNull(*contextName) },
            { QStringLiteral("snippet"), hit.passage },
        });
    }
    return QJsonObject { { QStringLiteral("calls"), array } };
}

Result<QJsonObject> setCallOutcome(StoreContext& context, const QJsonObject& arguments)
{
    TRY(call, findById<Call>(context, arguments));
    TRY(outcomeText, requiredString(arguments, "outcome"));
    const std::optional<CallOutcome> outcome = callOutcome::parseName(*outcomeText);
    if (!outcome) {
        return fail(QStringLiteral("outcome must be positive, negative or none."));
    }
    TRY(written, callRating::write(context, *call, { .outcome = outcome, .note = optionalString(arguments, "note") }));
    OwnerNames names(context);
    return callObject(names, *written, CallVariant::withSummary);
}

Result<QJsonObject> addQA(StoreContext& context, const QJsonObject& arguments)
{
    TRY(assistant, findNamed<Assistant>(context, arguments));
    TRY(question, checkQuestion(arguments.value(QLatin1String("question"))));
    TRY(language, checkLanguage(arguments));
    QString source = QStringLiteral("manual");
    if (given(arguments, "call")) {
        TRY(call, findById<Call>(context, arguments));
        source = idText(call->id);
    }
    QAItem item = QAItem::make(
        *question, optionalString(arguments, "answer").value_or(QString()), language->value_or(QString()), source);
    item.assistant = assistant->id;
    context.insert(item);
    return qaObject(item);
}

Result<QJsonObject> updateQA(StoreContext& context, const QJsonObject& arguments)
{
    TRY(item, findById<QAItem>(context, arguments));
    std::optional<QString> question;
    if (given(arguments, "question")) {
        TRY(checked, checkQuestion(arguments.value(QLatin1String("question"))));
        question = *checked;
    }
    TRY(language, checkLanguage(arguments));
    if (question) {
        item->question = *question;
    }
    if (const auto answer = optionalString(arguments, "answer")) {
        item->answer = *answer;
    }
    if (*language) {
        item->language = **language;
    }
    item->updatedAt = dates::now();
    context.update(*item);
    return qaObject(*item);
}

#undef TRY

// Handlers that build their whole result as an object.
template <Result<QJsonObject> (*handler)(StoreContext&, const QJsonObject&)>
Result<ToolValue> asValue(StoreContext& context, const QJsonObject& arguments)
{
    auto result = handler(context, arguments);
    if (!result) {
        return std::unexpected(result.error());
    }
    return ToolValue(std::move(*result));
}

enum class Access { reads, writes };

struct Tool {
    const char* name;
    const char* description;
    std::vector<Property> properties;
    std::vector<const char*> required;
    Access access;
    Handler handler;
};

constexpr const char* string = "string";
constexpr const char* boolean = "boolean";
constexpr const char* integer = "integer";

// Every tool once: its catalogue entry and its handler.
const Tool tools[] = {
    { "list_assistants", "List assistants, hiding archived ones unless include_archived is true.",
        { { "include_archived", boolean } }, {}, Access::reads, asValue<listAssistants> },
    { "get_assistant", "Get an assistant with its files (without content) and contexts.", { { "assistant", string } },
        { "assistant" }, Access::reads, asValue<getAssistant> },
    { "create_assistant",
        "Create an assistant from a template (interview, projects, prospecting or blank), optionally with "
        "custom instructions.",
        { { "name", string }, { "template", string }, { "instructions", string } }, { "name" }, Access::writes,
        asValue<createAssistant> },
    { "update_assistant", "Change an assistant's name, instructions or style notes.",
        { { "assistant", string }, { "name", string }, { "instructions", string }, { "style_notes", string } },
        { "assistant" }, Access::writes, asValue<updateAssistant> },
    { "list_contexts",
        "List call contexts, optionally of one assistant, hiding archived ones unless include_archived is "
        "true.",
        { { "assistant", string }, { "include_archived", boolean } }, {}, Access::reads, asValue<listContexts> },
    { "get_context", "Get a call context with its files, including their content.", { { "context", string } },
        { "context" }, Access::reads, asValue<getContext> },
    { "create_context", "Create a call context inside an assistant, with an optional stage.",
        { { "assistant", string }, { "name", string }, { "stage", string } }, { "assistant", "name" }, Access::writes,
        asValue<createContext> },
    { "update_context", "Change a call context's name or stage.",
        { { "context", string }, { "name", string }, { "stage", string } }, { "context" }, Access::writes,
        asValue<updateContext> },
    { "add_file",
        "Add a .md or .txt knowledge file to an assistant or a context, from content (with name) or from a "
        "local path.",
        { { "assistant", string }, { "context", string }, { "name", string }, { "content", string },
            { "path", string } },
        {}, Access::writes, asValue<addFile> },
    { "update_file", "Replace the content of a knowledge file.", { { "file_id", string }, { "content", string } },
        { "file_id", "content" }, Access::writes, asValue<updateFile> },
    { "remove_file", "Remove a knowledge file.", { { "file_id", string } }, { "file_id" }, Access::writes,
        asValue<removeFile> },
    { "archive", "Archive an assistant or a context; nothing is deleted.",
        { { "assistant", string }, { "context", string } }, {}, Access::writes, asValue<archive> },
    { "restore", "Restore an archived assistant or context.", { { "assistant", string }, { "context", string } }, {},
        Access::writes, asValue<restore> },
    { "list_calls",
        "List recorded calls of an assistant or a context (give exactly one), newest first, with outcome "
        "and a summary preview.",
        { { "assistant", string }, { "context", string }, { "limit", integer } }, {}, Access::reads,
        asValue<listCalls> },
    { "get_call", "Get one call by UUID with its full summary, transcript lines and suggestions.",
        { { "call", string } }, { "call" }, Access::reads, getCall },
    { "set_call_outcome", "Mark a call's outcome (positive, negative or none), optionally replacing its note.",
        { { "call", string }, { "outcome", string }, { "note", string } }, { "call", "outcome" }, Access::writes,
        asValue<setCallOutcome> },
    { "add_qa",
        "Add a question and answer to an assistant's Q&A bank; the answer, language (pt, en or empty) and "
        "source call UUID are optional.",
        { { "assistant", string }, { "question", string }, { "answer", string }, { "language", string },
            { "call", string } },
        { "assistant", "question" }, Access::writes, asValue<addQA> },
    { "update_qa", "Change a Q&A item's question, answer or language; only the given fields change.",
        { { "qa", string }, { "question", string }, { "answer", string }, { "language", string } }, { "qa" },
        Access::writes, asValue<updateQA> },
    { "search_calls",
        "Search the recorded calls' transcript lines, summaries and notes for words, optionally of one assistant "
        "or one context; best matches first, newest first among equal ones, each with a snippet of the passage.",
        { { "query", string }, { "assistant", string }, { "context", string }, { "limit", integer } }, { "query" },
        Access::reads, asValue<searchCalls> },
};

QJsonObject descriptor(const Tool& tool)
{
    QJsonObject schemaProperties;
    for (const Property& property : tool.properties) {
        schemaProperties.insert(
            QLatin1String(property.name), QJsonObject { { QStringLiteral("type"), QLatin1String(property.type) } });
    }
    QJsonArray requiredNames;
    for (const char* key : tool.required) {
        requiredNames.append(QLatin1String(key));
    }
    return QJsonObject {
        { QStringLiteral("name"), QLatin1String(tool.name) },
        { QStringLiteral("description"), QString::fromUtf8(tool.description) },
        { QStringLiteral("inputSchema"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("object") },
                { QStringLiteral("properties"), schemaProperties }, { QStringLiteral("required"), requiredNames } } },
    };
}

} // namespace

const QJsonArray& catalogue()
{
    static const QJsonArray built = [] {
        QJsonArray list;
        for (const Tool& tool : tools) {
            list.append(descriptor(tool));
        }
        return list;
    }();
    return built;
}

Result<QByteArray> callTool(const QString& name, const QJsonObject& arguments, RequestState& state)
{
    const Tool* tool = nullptr;
    for (const Tool& candidate : tools) {
        if (name == QLatin1String(candidate.name)) {
            tool = &candidate;
            break;
        }
    }
    if (!tool) {
        return fail(QStringLiteral("Unknown tool: ") + name + u'.');
    }
    auto result = tool->handler(state.context, arguments);
    if (!result) {
        // Whatever the handler made pending dies with it.
        state.context.rollback();
        return std::unexpected(result.error());
    }
    if (tool->access == Access::writes) {
        if (auto saved = state.context.save(); !saved) {
            state.context.rollback();
            return std::unexpected(saved.error());
        }
        state.changed = true;
    }
    return result->text();
}

Result<QByteArray> callJson(StoreContext& context, const Call& call)
{
    OwnerNames names(context);
    auto value = fullCallObject(names, call);
    if (!value) {
        return std::unexpected(value.error());
    }
    return value->text();
}

} // namespace tools
