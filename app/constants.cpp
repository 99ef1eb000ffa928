// SPDX-License-Identifier: MIT
#include "constants.h"

namespace clockapp
{

std::vector<platform::Text> serverList()
{
    return {
        u"http://www.baidu.com/",   u"http://www.qq.com/",     u"http://www.163.com/",
        u"http://www.sina.com.cn/", u"http://www.sohu.com",    u"http://www.taobao.com/",
        u"http://www.jd.com/",      u"http://www.bing.com/",   u"http://www.microsoft.com/",
        u"http://www.apple.com/",   u"http://www.ntsc.ac.cn/", u"http://www.tsinghua.edu.cn/",
        u"http://www.pku.edu.cn/",
    };
}

} // namespace clockapp
