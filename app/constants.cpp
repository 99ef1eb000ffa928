#include "constants.h"

namespace clockapp
{

QStringList serverList()
{
    return {
        QStringLiteral("http://www.baidu.com/"),     QStringLiteral("http://www.qq.com/"),
        QStringLiteral("http://www.163.com/"),       QStringLiteral("http://www.sina.com.cn/"),
        QStringLiteral("http://www.sohu.com"),       QStringLiteral("http://www.taobao.com/"),
        QStringLiteral("http://www.jd.com/"),        QStringLiteral("http://www.bing.com/"),
        QStringLiteral("http://www.microsoft.com/"), QStringLiteral("http://www.apple.com/"),
        QStringLiteral("http://www.ntsc.ac.cn/"),    QStringLiteral("http://www.tsinghua.edu.cn/"),
        QStringLiteral("http://www.pku.edu.cn/"),
    };
}

} // namespace clockapp
