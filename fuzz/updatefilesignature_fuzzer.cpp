// Feeds arbitrary signature files to UpdateFileSignature and UpdateFileSignatureCheck: what
// parses has the sizes of minisign's fields, and the check never calls a signature good that
// was not made for these bytes, this model and this version by the trusted demo key. The seeds
// are signatures the stock minisign made over kSignedBytes.

#include "trustedkeys.h"
#include "updatefilesignature.h"
#include "updatefilesignaturecheck.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

const QByteArray kSignedBytes = QByteArrayLiteral("signed bytes for the fuzzer");

void check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// The demo key, trusted through a keys folder of the fuzzer's own.
const TrustedKeys& demoKeys()
{
    static QTemporaryDir folder;
    static const bool copied = QFile::copy(QStringLiteral(MARLUNE_DEMO_KEY), folder.filePath("demo.pub"));
    static const TrustedKeys keys(folder.path());
    check(copied && keys.keys().size() == 1);
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const std::optional<UpdateFileSignature> parsed = UpdateFileSignature::parse(text);
    if (parsed) {
        check(parsed->keyId.size() == 8);
        check(parsed->signature.size() == UpdateFileSignature::kSignatureBytes);
        check(parsed->globalSignature.size() == UpdateFileSignature::kSignatureBytes);
        check(!parsed->trustedComment.contains('\n') && !parsed->trustedComment.endsWith('\r'));
    }

    using Kind = UpdateFileSignatureVerdict::Kind;
    const UpdateFileSignatureVerdict verdict = UpdateFileSignatureCheck::check(
        kSignedBytes, text, QStringLiteral("FUZZ"), QStringLiteral("1.00"), demoKeys());
    check(parsed.has_value() == (verdict.kind != Kind::Malformed));
    if (verdict.kind == Kind::Signed) {
        check(verdict.keyName == QLatin1String("demo") && verdict.signedModel == QLatin1String("FUZZ") &&
              verdict.signedFirmwareVersion == QLatin1String("1.00"));
        // The same signature never holds for other bytes.
        check(UpdateFileSignatureCheck::check(kSignedBytes + 'x', text, QStringLiteral("FUZZ"),
                                              QStringLiteral("1.00"), demoKeys())
                  .kind == Kind::FileChanged);
    }
    return 0;
}
