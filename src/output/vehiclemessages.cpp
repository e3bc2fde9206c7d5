#include "vehiclemessages.h"

#include "util/korvanfunctions.h"

using namespace Qt::Literals::StringLiterals;

QString chatMessage(const QString &text, const QString &vehicle)
{
    return u"[RS2_VRY,"_s + vehicle + u",DE2"_s + text + u"\r\n]"_s;
}

QString undoMessage(int ride, const QString &vehicle, bool viaRit)
{
    if (viaRit)
        return u"[RS2_RIT,"_s + vehicle + u",> Ongedaan: "_s + QString::number(ride) + u"\r\n]"_s;
    return u"[RS2_GRO_DEL,"_s + vehicle + u',' + KorvanFunctions::ZeroPadInt(ride, 10).mid(6, 4) + u']';
}

QString positionRequest(const QString &vehicle)
{
    return u"[RS2_RGD_REQ,"_s + vehicle + u']';
}
