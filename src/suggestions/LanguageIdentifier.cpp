#include "suggestions/LanguageIdentifier.h"

#include "common/Log.h"
#include "common/Text.h"

#include <QTemporaryFile>

#include <memory>

#include <textcat.h>

namespace languageIdentifier {

namespace {

constexpr const char* fingerprintFolder = "/usr/share/libexttextcat/";

struct ClassifierDeleter {
    void operator()(void* handle) const { textcat_Done(handle); }
};
using Classifier = std::unique_ptr<void, ClassifierDeleter>;

// A classifier that knows only Portuguese and English, in that order. The configuration is
// read once by the library, so it only has to exist while the classifier is made.
Classifier makeClassifier()
{
    QTemporaryFile configuration;
    if (!configuration.open()) {
        qCWarning(lcSuggestions, "language identification unavailable: no temporary file");
        return {};
    }
    configuration.write("pt.lm pt\nen.lm en\n");
    configuration.flush();
    Classifier classifier(special_textcat_Init(configuration.fileName().toLocal8Bit().constData(), fingerprintFolder));
    if (!classifier) {
        qCWarning(
            lcSuggestions, "language identification unavailable: fingerprints not found in %s", fingerprintFolder);
        return {};
    }
    textcat_SetProperty(classifier.get(), TCPROP_UTF8AWARE, TC_TRUE);
    return classifier;
}

} // namespace

std::optional<ReplyLanguage> identify(const QString& text)
{
    // The classifier keeps state while it works; one per thread keeps that safe.
    thread_local const Classifier classifier = makeClassifier();
    if (!classifier || !text::hasLetterOrDigit(text)) {
        // Nothing to weigh: the classifier would still guess from punctuation alone.
        return std::nullopt;
    }
    QByteArray utf8 = text.toUtf8();
    const char* result = textcat_Classify(classifier.get(), utf8.data(), static_cast<size_t>(utf8.size()));
    if (!result) {
        return std::nullopt;
    }
    // "[pt][en]": candidates best first; "SHORT" and "UNKNOWN" carry no hypothesis.
    const QByteArray answer(result);
    if (answer.startsWith("[en]")) {
        return ReplyLanguage::english;
    }
    if (answer.startsWith("[pt]")) {
        return ReplyLanguage::portuguese;
    }
    return std::nullopt;
}

} // namespace languageIdentifier
