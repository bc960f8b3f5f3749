#include "automation/quadrel_automation.h"

#include "core/features.h"
#include "document/quadrel_doc.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QVariant>

#include <new>

namespace quadrel {

extern const char* const kAutomationInterfaceXml; // generated from automation/Quadrel.IQuadrel.xml

namespace {

// An empty result: D-Bus has no empty variant, so it is a variant holding an empty array of variants.
QDBusVariant emptyResult() { return QDBusVariant(QVariant::fromValue(QVariantList())); }

QDBusMessage invalidArgs(const QDBusMessage& m, const QString& why) {
    return m.createErrorReply(QDBusError::InvalidArgs, why);
}

} // namespace

QuadrelAutomation::QuadrelAutomation(std::function<CQuadrelDoc*()> document, QObject* parent)
    : QDBusVirtualObject(parent), m_document(std::move(document)) {}

QString QuadrelAutomation::interfaceXml() { return QString::fromUtf8(kAutomationInterfaceXml); }

bool QuadrelAutomation::registerOn(QDBusConnection connection, bool claimName, QString& error) {
    if (!connection.isConnected()) {
        error = QStringLiteral("no session bus: ") + connection.lastError().message();
        return false;
    }
    if (!connection.registerVirtualObject(kPath, this)) {
        error = QStringLiteral("cannot register the object: ") + connection.lastError().message();
        return false;
    }
    if (claimName && !connection.registerService(kService)) {
        connection.unregisterObject(kPath);
        error = QStringLiteral("the name %1 is taken: ").arg(kService) + connection.lastError().message();
        return false;
    }
    return true;
}

bool QuadrelAutomation::handOver(QDBusConnection connection, const QString& path, QString& error) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInstanceInterface, QStringLiteral("OpenFile"));
    call << path;
    const QDBusMessage answer = connection.call(call, QDBus::Block, 60000);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
        error = answer.errorMessage();
        return false;
    }
    if (!answer.arguments().front().toBool()) error = QStringLiteral("the running program could not open ") + path;
    return answer.arguments().front().toBool();
}

QString QuadrelAutomation::introspect(const QString&) const {
    // Only the interface elements: the bus library adds the node and the standard interfaces.
    const QString xml = interfaceXml();
    const qsizetype from = xml.indexOf(QStringLiteral("<interface"));
    const qsizetype to = xml.lastIndexOf(QStringLiteral("</interface>"));
    if (from < 0 || to < 0) return {};
    return xml.mid(from, to + 12 - from);
}

bool QuadrelAutomation::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QString iface = message.interface();
    const QString signature = message.signature();
    const QList<QVariant> args = message.arguments();
    CQuadrelDoc* doc = m_document ? m_document() : nullptr;

    auto reply = [&](const QVariant& value) {
        connection.send(message.createReply(value));
        return true;
    };
    auto fail = [&](const QDBusMessage& error) {
        connection.send(error);
        return true;
    };
    auto needs = [&](const char* expected) {
        if (signature == QLatin1String(expected)) return true;
        fail(invalidArgs(message, QStringLiteral("%1 takes arguments of type '%2', not '%3'")
                                      .arg(member, QLatin1String(expected), signature)));
        return false;
    };
    auto allFeatures = [&]() -> QStringList {
        QStringList names;
        for (const auto& [id, name] : featureNames()) names << QString::fromStdString(name);
        return names;
    };

    if (iface == QLatin1String("org.freedesktop.DBus.Properties")) {
        if (member == QLatin1String("Get")) {
            if (!needs("ss")) return true;
            const QString name = args.at(1).toString();
            if (args.at(0).toString() != QLatin1String(kInterface) && !args.at(0).toString().isEmpty())
                return fail(message.createErrorReply(QDBusError::UnknownInterface, args.at(0).toString()));
            if (name == QLatin1String("AllFeatures")) {
                const QStringList names = allFeatures();
                if (names.isEmpty()) return fail(invalidArgs(message, QStringLiteral("the feature table is empty")));
                return reply(QVariant::fromValue(QDBusVariant(names)));
            }
            if (name == QLatin1String("GetDummy")) return reply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(emptyResult()))));
            return fail(message.createErrorReply(QDBusError::UnknownProperty, name));
        }
        if (member == QLatin1String("GetAll")) {
            if (!needs("s")) return true;
            QVariantMap all;
            all.insert(QStringLiteral("AllFeatures"), allFeatures());
            all.insert(QStringLiteral("GetDummy"), QVariant::fromValue(emptyResult()));
            return reply(all);
        }
        if (member == QLatin1String("Set"))
            return fail(message.createErrorReply(QDBusError::PropertyReadOnly, QStringLiteral("the properties are read-only")));
        return fail(message.createErrorReply(QDBusError::UnknownMethod, member));
    }
    if (iface == QLatin1String(kInstanceInterface)) {
        if (member != QLatin1String("OpenFile")) return fail(message.createErrorReply(QDBusError::UnknownMethod, member));
        if (!needs("s")) return true;
        return reply(m_openFile ? m_openFile(args.at(0).toString()) : false);
    }
    if (!iface.isEmpty() && iface != QLatin1String(kInterface)) return false;

    try {
        if (member == QLatin1String("GetImage") || member == QLatin1String("GetLabelImage") ||
            member == QLatin1String("GetROI")) {
            if (!needs("s")) return true;
            if (!doc) return reply(false);
            const auto kind = member == QLatin1String("GetImage")        ? CQuadrelDoc::ExportKind::Image
                              : member == QLatin1String("GetLabelImage") ? CQuadrelDoc::ExportKind::Labels
                                                                         : CQuadrelDoc::ExportKind::RegionMask;
            std::string error;
            return reply(doc->ExportImage(kind, args.at(0).toString().toStdString(), error));
        }
        if (member == QLatin1String("GetSelectedFeatures")) {
            if (!needs("v")) return true;
            // Only the argument's type matters: an array or not.
            const QVariant inner = args.at(0).value<QDBusVariant>().variant();
            bool isArray = inner.canConvert<QDBusArgument>() ? inner.value<QDBusArgument>().currentType() == QDBusArgument::ArrayType
                                                             : inner.typeId() == QMetaType::QVariantList ||
                                                                   inner.typeId() == QMetaType::QStringList ||
                                                                   inner.typeId() == QMetaType::QByteArray;
            return reply(isArray);
        }
        if (member == QLatin1String("GetSelFeatures")) {
            if (!needs("v")) return true;
            QVariantList one;
            one << QStringLiteral("This is a new std::string");
            return reply(QVariant::fromValue(QDBusVariant(one)));
        }
        if (member == QLatin1String("LoadROI")) {
            if (!needs("sd")) return true;
            if (!doc) return reply(false);
            std::string error;
            return reply(doc->LoadROI(args.at(0).toString().toStdString(), error));
        }
        if (member == QLatin1String("GetFeatures")) {
            if (!needs("ss")) return true;
            const TFeature feature = featureFromName(args.at(1).toString().toStdString());
            if (feature.id() == 0) return reply(QVariant::fromValue(emptyResult()));
            const QString className = args.at(0).toString();
            std::shared_ptr<TCellIdList> cls = doc ? doc->FindClass(className.toStdString()) : nullptr;
            if (!cls) return fail(invalidArgs(message, QStringLiteral("there is no class '%1'").arg(className)));
            if (cls->empty()) return fail(invalidArgs(message, QStringLiteral("the class '%1' has no cells").arg(className)));
            const FeatureScale scale = doc->CalibrationScale();
            const std::shared_ptr<const TCellDictionary> cells = doc->GetCells();
            FeatureEvaluator eval;
            QVariantList values;
            for (const TCellId& id : cls->ids())
                if (const TCellBaseFeature* r = cells->find(id.label))
                    values << static_cast<double>(eval.value(feature, *r, scale));
            return reply(QVariant::fromValue(QDBusVariant(values)));
        }
    } catch (const std::bad_alloc&) {
        return fail(message.createErrorReply(QDBusError::NoMemory, QStringLiteral("out of memory")));
    }
    return fail(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no method '%1'").arg(member)));
}

} // namespace quadrel
