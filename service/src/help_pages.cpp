#include "help_pages.h"

namespace velquist::service {
namespace {

constexpr std::string_view kHelp = R"html(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Velquist 使用帮助</title>
<style>
body { font-family: "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif; max-width: 46em;
       margin: 2em auto; padding: 0 1em; line-height: 1.7; color: #222; }
h1 { color: #1f6fd1; } h2 { border-bottom: 1px solid #ddd; padding-bottom: .2em; }
code { background: #f2f2f2; padding: 0 .3em; }
</style>
</head>
<body>
<h1>Velquist 使用帮助</h1>
<p>Velquist 是一款把 HEIF/HEIC 照片（苹果手机等设备拍摄的 “.heic”、“.heif” 文件）批量转换为
JPG、PNG 或 BMP 图片的桌面工具。下面按使用顺序介绍各项功能。</p>

<h2>一、添加图片</h2>
<ul>
<li>点击主窗口的“添加文件”按钮，在打开的对话框中选择一个或多个 “.heic”/“.heif” 文件。</li>
<li>点击“添加文件夹”，选择一个文件夹，文件夹中所有 HEIC/HEIF 文件会一次加入列表。</li>
<li>列表中每一项前面有勾选框，只有勾选的文件才会被转换；可以用“全选”一次勾选全部。</li>
<li>不需要的文件可以点击该项右侧的删除按钮移出列表，原文件不会被删除。</li>
</ul>

<h2>二、选择输出格式</h2>
<ul>
<li><b>JPG</b>：体积小、兼容性最好，适合分享和上传；会保留照片的 EXIF 信息（拍摄时间、相机型号等）和颜色配置文件。</li>
<li><b>PNG</b>：无损格式，保留透明通道和 16 位色深，文件较大，适合继续编辑。</li>
<li><b>BMP</b>：未压缩的位图，几乎所有软件都能打开，文件最大。</li>
</ul>

<h2>三、设置图片质量</h2>
<p>质量只对 JPG 有效，可在 10 到 100 之间以 10 为单位调节。数值越高，画面越清晰、文件越大。
一般照片选择 80～90 即可，打印或存档建议选择 100。</p>

<h2>四、输出目录</h2>
<ul>
<li>默认输出到“图片”文件夹下的 <code>Heic</code> 子文件夹。</li>
<li>点击“更改目录”可以选择其他文件夹；点击“打开目录”可直接在文件管理器中查看转换结果。</li>
<li>转换后的文件与原文件同名，只是扩展名变为 .jpg、.png 或 .bmp；同名文件会被覆盖。</li>
<li>如果提示没有写入权限，请换一个您有权限写入的文件夹。</li>
</ul>

<h2>五、开始转换</h2>
<p>点击“开始转换”后，程序同时最多处理三个文件。列表中每一项会显示“转换中”、“转换成功”或
“转换失败”。转换成功的文件可以点击“打开”用系统默认的看图程序查看。
格式、质量、输出目录等设置会自动保存，下次启动时沿用。</p>

<h2>六、账号</h2>
<ul>
<li><b>注册</b>：点击“注册”，输入 11 位手机号，点击“获取验证码”，把短信中的 6 位验证码填入，
再设置 1 到 32 位的密码即可。验证码 5 分钟内有效，同一手机号 60 秒内只能获取一次。</li>
<li><b>登录</b>：输入手机号和密码后点击“登录”。登录成功后程序会记住账号，下次启动自动登录。</li>
<li><b>忘记密码</b>：在登录窗口点击“忘记密码”，用短信验证码设置新密码。</li>
<li>连续多次输错密码后账号会被暂时锁定 15 分钟，可以稍后再试，或通过“忘记密码”重设密码解除锁定。</li>
<li><b>退出登录</b>：在账号中心点击“退出登录”，本机保存的登录信息会被删除。</li>
</ul>

<h2>七、检查更新</h2>
<p>程序每次启动时会自动检查新版本，也可以在主菜单中点击“检查更新”。发现新版本时按提示下载，
下载完成后安装程序会自动启动。</p>

<p>还有问题？请查看 <a href="/help/audio">意见反馈与联系我们</a>。</p>
</body>
</html>
)html";

constexpr std::string_view kContact = R"html(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Velquist 意见反馈与联系我们</title>
<style>
body { font-family: "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif; max-width: 46em;
       margin: 2em auto; padding: 0 1em; line-height: 1.7; color: #222; }
h1 { color: #1f6fd1; } h2 { border-bottom: 1px solid #ddd; padding-bottom: .2em; }
</style>
</head>
<body>
<h1>意见反馈与联系我们</h1>

<h2>如何提交反馈</h2>
<ol>
<li>先登录账号（未登录时会提示“请先登录后进行反馈!”）。</li>
<li>点击主窗口的“意见反馈”按钮，或在主菜单中选择“意见反馈”。</li>
<li>在“反馈内容”中写下您遇到的问题或建议，在“联系方式”中留下手机号、邮箱或 QQ。</li>
<li>点击“提交”，看到“反馈信息已提交!”即表示我们已收到。</li>
</ol>

<h2>反馈时请尽量说明</h2>
<ul>
<li>您使用的 Velquist 版本（主菜单“关于”中可以看到）和操作系统；</li>
<li>出问题的步骤，例如添加了哪些文件、选择了什么格式和质量；</li>
<li>列表中显示的状态或弹出的提示文字；</li>
<li>如果某个照片总是转换失败，请说明照片的来源（手机型号等）。</li>
</ul>

<h2>常见问题</h2>
<ul>
<li><b>提示“网络错误!”</b>：请检查网络连接后重试。</li>
<li><b>收不到验证码</b>：同一手机号 60 秒内只能获取一次验证码，请稍后点击“重新获取”。</li>
<li><b>提示“验证码无效!”</b>：验证码已过期（5 分钟）或输错次数过多，请重新获取。</li>
<li><b>提示“账号或密码错误!”</b>：请确认手机号和密码；多次输错后账号会被暂时锁定。</li>
</ul>

<p>返回 <a href="/help">使用帮助</a>。</p>
</body>
</html>
)html";

} // namespace

std::string_view HelpPage() {
    return kHelp;
}
std::string_view ContactHelpPage() {
    return kContact;
}

} // namespace velquist::service
