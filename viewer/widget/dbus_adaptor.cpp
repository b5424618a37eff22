#include "dbus_adaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "widget/ocuview_widget.h"

namespace ocuview {

OcuviewDBusAdaptor::OcuviewDBusAdaptor(OcuviewWidget* widget)
    : QDBusAbstractAdaptor(widget), widget_(widget) {
    // Property writes go through the widget's own rules; no change signals are relayed.
    setAutoRelaySignals(false);
}

QString OcuviewDBusAdaptor::SetInitialMode() const {
    return widget_->SetInitialMode();
}
void OcuviewDBusAdaptor::setSetInitialMode(const QString& value) {
    widget_->setSetInitialMode(value);
}
QString OcuviewDBusAdaptor::ParamCamAddress() const {
    return widget_->ParamCamAddress();
}
void OcuviewDBusAdaptor::setParamCamAddress(const QString& value) {
    widget_->setParamCamAddress(value);
}
QString OcuviewDBusAdaptor::ParamCamPort() const {
    return widget_->ParamCamPort();
}
void OcuviewDBusAdaptor::setParamCamPort(const QString& value) {
    widget_->setParamCamPort(value);
}
QString OcuviewDBusAdaptor::ParamViewMode() const {
    return widget_->ParamViewMode();
}
void OcuviewDBusAdaptor::setParamViewMode(const QString& value) {
    widget_->setParamViewMode(value);
}
QString OcuviewDBusAdaptor::ParamStreamMode() const {
    return widget_->ParamStreamMode();
}
void OcuviewDBusAdaptor::setParamStreamMode(const QString& value) {
    widget_->setParamStreamMode(value);
}
QString OcuviewDBusAdaptor::ParamColorDateFore() const {
    return widget_->ParamColorDateFore();
}
void OcuviewDBusAdaptor::setParamColorDateFore(const QString& value) {
    widget_->setParamColorDateFore(value);
}
QString OcuviewDBusAdaptor::ParamColorCtrlBack() const {
    return widget_->ParamColorCtrlBack();
}
void OcuviewDBusAdaptor::setParamColorCtrlBack(const QString& value) {
    widget_->setParamColorCtrlBack(value);
}
QString OcuviewDBusAdaptor::ParamColorCtrlFore() const {
    return widget_->ParamColorCtrlFore();
}
void OcuviewDBusAdaptor::setParamColorCtrlFore(const QString& value) {
    widget_->setParamColorCtrlFore(value);
}
QString OcuviewDBusAdaptor::ParamColorPictFrame() const {
    return widget_->ParamColorPictFrame();
}
void OcuviewDBusAdaptor::setParamColorPictFrame(const QString& value) {
    widget_->setParamColorPictFrame(value);
}
QString OcuviewDBusAdaptor::ParamFrameRate() const {
    return widget_->ParamFrameRate();
}
void OcuviewDBusAdaptor::setParamFrameRate(const QString& value) {
    widget_->setParamFrameRate(value);
}
QString OcuviewDBusAdaptor::ParamViewSize() const {
    return widget_->ParamViewSize();
}
void OcuviewDBusAdaptor::setParamViewSize(const QString& value) {
    widget_->setParamViewSize(value);
}
QString OcuviewDBusAdaptor::ParamVolume() const {
    return widget_->ParamVolume();
}
void OcuviewDBusAdaptor::setParamVolume(const QString& value) {
    widget_->setParamVolume(value);
}
QString OcuviewDBusAdaptor::ParamMute() const {
    return widget_->ParamMute();
}
void OcuviewDBusAdaptor::setParamMute(const QString& value) {
    widget_->setParamMute(value);
}
QString OcuviewDBusAdaptor::ParamAutoStart() const {
    return widget_->ParamAutoStart();
}
void OcuviewDBusAdaptor::setParamAutoStart(const QString& value) {
    widget_->setParamAutoStart(value);
}

void OcuviewDBusAdaptor::PrmPlayStart() {
    widget_->PrmPlayStart();
}
void OcuviewDBusAdaptor::PrmPlayStop() {
    widget_->PrmPlayStop();
}
void OcuviewDBusAdaptor::PrmSetControlParam(const QString& param, const QString& arg) {
    widget_->PrmSetControlParam(param, arg);
}
void OcuviewDBusAdaptor::PrmSetControlColor(const QString& param, const QString& arg) {
    widget_->PrmSetControlColor(param, arg);
}
void OcuviewDBusAdaptor::PrmSetNetworkParam(const QString& param, const QString& arg) {
    widget_->PrmSetNetworkParam(param, arg);
}
void OcuviewDBusAdaptor::PrmExecTriggerControl(const QString& param) {
    widget_->PrmExecTriggerControl(param);
}
void OcuviewDBusAdaptor::PrmExecDZoomControl(const QString& flag, const QString& x, const QString& y) {
    widget_->PrmExecDZoomControl(flag, x, y);
}
QString OcuviewDBusAdaptor::PrmGetControlParam(const QString& param) {
    return widget_->PrmGetControlParam(param);
}
QString OcuviewDBusAdaptor::PrmGetControlColor(const QString& param) {
    return widget_->PrmGetControlColor(param);
}
QString OcuviewDBusAdaptor::PrmGetNetworkParam(const QString& param) {
    return widget_->PrmGetNetworkParam(param);
}
QString OcuviewDBusAdaptor::PrmGetVersion() {
    return widget_->PrmGetVersion();
}
QString OcuviewDBusAdaptor::PrmGetModuleName() {
    return widget_->PrmGetModuleName();
}
QString OcuviewDBusAdaptor::PrmCalcModuleWidth(const QString& viewMode, const QString& viewSize) {
    return widget_->PrmCalcModuleWidth(viewMode, viewSize);
}
QString OcuviewDBusAdaptor::PrmCalcModuleHeight(const QString& viewMode, const QString& viewSize) {
    return widget_->PrmCalcModuleHeight(viewMode, viewSize);
}

OcuviewRecordingAdaptor::OcuviewRecordingAdaptor(OcuviewWidget* widget)
    : QDBusAbstractAdaptor(widget), widget_(widget) {}

void OcuviewRecordingAdaptor::Start(const QString& path) {
    widget_->StartRecording(path);
}
void OcuviewRecordingAdaptor::Stop() {
    widget_->StopRecording();
}
QString OcuviewRecordingAdaptor::State() {
    return widget_->recordingState();
}

bool ExportOnSessionBus(const std::vector<OcuviewWidget*>& widgets, QString* serviceName, QStringList* paths,
                        QString* error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus: %1").arg(bus.lastError().message());
        return false;
    }
    paths->clear();
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        new OcuviewDBusAdaptor(widgets[i]);
        new OcuviewRecordingAdaptor(widgets[i]);
        const QString path = QString::fromLatin1(kDBusPathPrefix) + QString::number(i);
        if (!bus.registerObject(path, widgets[i], QDBusConnection::ExportAdaptors)) {
            *error = QStringLiteral("cannot register %1: %2").arg(path, bus.lastError().message());
            return false;
        }
        paths->append(path);
    }
    // The plain name for the first host on the bus, a per-process one for the others.
    QString name = QString::fromLatin1(kDBusServiceName);
    if (!bus.registerService(name)) {
        name += QStringLiteral(".Host%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            *error = QStringLiteral("cannot take the bus name %1: %2").arg(name, bus.lastError().message());
            return false;
        }
    }
    *serviceName = name;
    return true;
}

}  // namespace ocuview
