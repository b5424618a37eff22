// The scripting interface of a control on the session D-Bus: interface "org.qxrk7.Ocuview.Control" with
// the fourteen properties (strings, read and write) and the fourteen methods (string arguments, string
// results), attached to an OcuviewWidget and forwarding to it on the GUI thread.
#ifndef OCUVIEW_WIDGET_DBUS_ADAPTOR_H
#define OCUVIEW_WIDGET_DBUS_ADAPTOR_H

#include <QDBusAbstractAdaptor>
#include <QString>
#include <QStringList>
#include <vector>

namespace ocuview {

class OcuviewWidget;

inline constexpr const char* kDBusInterface = "org.qxrk7.Ocuview.Control";
inline constexpr const char* kDBusServiceName = "org.qxrk7.Ocuview";
inline constexpr const char* kDBusPathPrefix = "/org/qxrk7/Ocuview/Control";

class OcuviewDBusAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.qxrk7.Ocuview.Control")
    Q_PROPERTY(QString SetInitialMode READ SetInitialMode WRITE setSetInitialMode)
    Q_PROPERTY(QString ParamCamAddress READ ParamCamAddress WRITE setParamCamAddress)
    Q_PROPERTY(QString ParamCamPort READ ParamCamPort WRITE setParamCamPort)
    Q_PROPERTY(QString ParamViewMode READ ParamViewMode WRITE setParamViewMode)
    Q_PROPERTY(QString ParamStreamMode READ ParamStreamMode WRITE setParamStreamMode)
    Q_PROPERTY(QString ParamColorDateFore READ ParamColorDateFore WRITE setParamColorDateFore)
    Q_PROPERTY(QString ParamColorCtrlBack READ ParamColorCtrlBack WRITE setParamColorCtrlBack)
    Q_PROPERTY(QString ParamColorCtrlFore READ ParamColorCtrlFore WRITE setParamColorCtrlFore)
    Q_PROPERTY(QString ParamColorPictFrame READ ParamColorPictFrame WRITE setParamColorPictFrame)
    Q_PROPERTY(QString ParamFrameRate READ ParamFrameRate WRITE setParamFrameRate)
    Q_PROPERTY(QString ParamViewSize READ ParamViewSize WRITE setParamViewSize)
    Q_PROPERTY(QString ParamVolume READ ParamVolume WRITE setParamVolume)
    Q_PROPERTY(QString ParamMute READ ParamMute WRITE setParamMute)
    Q_PROPERTY(QString ParamAutoStart READ ParamAutoStart WRITE setParamAutoStart)

  public:
    explicit OcuviewDBusAdaptor(OcuviewWidget* widget);

    QString SetInitialMode() const;
    void setSetInitialMode(const QString& value);
    QString ParamCamAddress() const;
    void setParamCamAddress(const QString& value);
    QString ParamCamPort() const;
    void setParamCamPort(const QString& value);
    QString ParamViewMode() const;
    void setParamViewMode(const QString& value);
    QString ParamStreamMode() const;
    void setParamStreamMode(const QString& value);
    QString ParamColorDateFore() const;
    void setParamColorDateFore(const QString& value);
    QString ParamColorCtrlBack() const;
    void setParamColorCtrlBack(const QString& value);
    QString ParamColorCtrlFore() const;
    void setParamColorCtrlFore(const QString& value);
    QString ParamColorPictFrame() const;
    void setParamColorPictFrame(const QString& value);
    QString ParamFrameRate() const;
    void setParamFrameRate(const QString& value);
    QString ParamViewSize() const;
    void setParamViewSize(const QString& value);
    QString ParamVolume() const;
    void setParamVolume(const QString& value);
    QString ParamMute() const;
    void setParamMute(const QString& value);
    QString ParamAutoStart() const;
    void setParamAutoStart(const QString& value);

  public Q_SLOTS:
    void PrmPlayStart();
    void PrmPlayStop();
    void PrmSetControlParam(const QString& param, const QString& arg);
    void PrmSetControlColor(const QString& param, const QString& arg);
    void PrmSetNetworkParam(const QString& param, const QString& arg);
    void PrmExecTriggerControl(const QString& param);
    void PrmExecDZoomControl(const QString& flag, const QString& x, const QString& y);
    QString PrmGetControlParam(const QString& param);
    QString PrmGetControlColor(const QString& param);
    QString PrmGetNetworkParam(const QString& param);
    QString PrmGetVersion();
    QString PrmGetModuleName();
    QString PrmCalcModuleWidth(const QString& viewMode, const QString& viewSize);
    QString PrmCalcModuleHeight(const QString& viewMode, const QString& viewSize);

  private:
    OcuviewWidget* widget_;
};

// Recording on the bus, beside the control's own interface: interface "org.qxrk7.Ocuview.Recording" on
// the same object. Start answers at once; State tells how it went.
inline constexpr const char* kDBusRecordingInterface = "org.qxrk7.Ocuview.Recording";

class OcuviewRecordingAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.qxrk7.Ocuview.Recording")

  public:
    explicit OcuviewRecordingAdaptor(OcuviewWidget* widget);

  public Q_SLOTS:
    // Records into the series `path` names (empty: a new series in the control's record directory).
    void Start(const QString& path);
    void Stop();
    // "off", "on FILE", "ended FILE...: N pictures, B bytes of audio" or "refused: REASON".
    QString State();

  private:
    OcuviewWidget* widget_;
};

// Puts `widgets` on the session bus: object paths kDBusPathPrefix + 0, 1, ... in order, under the name
// kDBusServiceName, or kDBusServiceName + ".Host" + the process id when another process holds that.
// Returns false with a reason when there is no session bus or nothing could be registered.
bool ExportOnSessionBus(const std::vector<OcuviewWidget*>& widgets, QString* serviceName, QStringList* paths,
                        QString* error);

}  // namespace ocuview

#endif
