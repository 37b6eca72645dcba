#include "pagescript.h"

#include <QFile>

namespace {

// window.nativeBridge.request(text) sends one text; window.nativeBridge.onmessage
// receives every reply and event in order. Requests made before the channel is
// connected wait in a queue.
const char kBridgeShim[] = R"js(
(function () {
    'use strict';
    if (window.nativeBridge || typeof QWebChannel !== 'function') return;
    var Channel = QWebChannel;
    var queue = [];
    var channelObject = null;
    var bridge = {
        onmessage: null,
        request: function (text) {
            text = String(text);
            if (channelObject) channelObject.request(text);
            else queue.push(text);
        }
    };
    Object.defineProperty(window, 'nativeBridge', { value: bridge, writable: false, configurable: false });

    function deliver(text) {
        if (typeof bridge.onmessage !== 'function') return;
        try { bridge.onmessage(text); } catch (e) { console.error(e); }
    }

    function connect(attempt) {
        if (!(window.qt && window.qt.webChannelTransport)) {
            if (attempt < 200) setTimeout(function () { connect(attempt + 1); }, 10);
            return;
        }
        new Channel(window.qt.webChannelTransport, function (channel) {
            var object = channel.objects.nativeBridgeChannel;
            if (!object) return;
            object.message.connect(deliver);
            channelObject = object;
            var waiting = queue;
            queue = [];
            for (var i = 0; i < waiting.length; ++i) object.request(waiting[i]);
        });
    }
    connect(0);
})();
)js";

}  // namespace

QString PageApiScript()
{
    QString script;
    QFile channelClient(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (channelClient.open(QIODevice::ReadOnly))
        script = QString::fromUtf8(channelClient.readAll());
    script += QString::fromUtf8(kBridgeShim);
    return script;
}
