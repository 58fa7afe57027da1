<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Download</name>
    <message>
        <source>升级下载</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在下载新版本，请稍候…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载进度</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Feedback</name>
    <message>
        <source>意见反馈</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>您的意见对我们非常重要，欢迎留下您的宝贵建议。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>反馈内容</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入反馈内容</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请留下您的联系方式（手机号/QQ/邮箱）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>提交</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Forgot</name>
    <message>
        <source>找回密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>通过短信验证码重新设置密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入手机号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入短信验证码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取验证码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入新密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请再次输入密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重置密码</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImageListContainerElement</name>
    <message>
        <source>待转换</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>预览</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Login</name>
    <message>
        <source>登录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>欢迎登录 Velquist</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>使用手机号和密码登录您的账号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入手机号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登 录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注册新账号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>忘记密码?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>账号将加密存入系统钥匙环,系统可能询问钥匙环密码</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainTaskMenu</name>
    <message>
        <source>打开主界面</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>HEIC 图片批量转换</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注册</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>＋ 添加文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加 HEIC/HEIF 图片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加文件夹</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加一个文件夹中的全部 HEIC/HEIF 图片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开输出目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全选</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除选中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>大小</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>状态</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>还没有添加图片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>点击下方按钮添加 HEIC/HEIF 图片，也可以直接把文件或文件夹拖到这里</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>图片列表</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>图片质量</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>同名文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输出目录中已有同名文件时的处理方式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>覆盖</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>跳过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保留两者</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保留 EXIF 信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>移除位置信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保留 EXIF 信息时去掉其中的拍摄地点（GPS）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保留拍摄日期</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输出文件的修改时间设为照片的拍摄时间</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换全部图像</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连拍等含多张图像的文件，每张图像各输出一个文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>包含子文件夹</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>添加文件夹时也添加其子文件夹中的图片，输出时保持相同的目录结构</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输出目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>更改目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始转换</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重试失败项</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>把转换失败的文件重新加入转换</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>提示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PersonCenter</name>
    <message>
        <source>个人中心</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前账号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出登录</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PromptBox</name>
    <message>
        <source>提示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Register</name>
    <message>
        <source>用户注册</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注册 Velquist 账号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注册后即可使用账号服务</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入手机号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入短信验证码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取验证码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请设置密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请再次输入密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注 册</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Velquist</name>
    <message>
        <source>请先添加heic文件!</source>
        <translation>Add some HEIC files first.</translation>
    </message>
    <message>
        <source>请先勾选要转换的文件!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>图片尺寸过大</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>已跳过</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换超时</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>账号或密码错误!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未知错误!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户注册成功!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>该用户已注册过!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码错误!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码无效!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注册失败,请稍后重试!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码重置成功!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户不存在!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码重置失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>手机号不能为空!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>非法的手机号!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>手机号只能为数字!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码不能为空!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码不能超过32位!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确认密码不能为空!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码不能为空!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确认密码不一致!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络错误!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>网络连接失败,请检查网络!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登录信息保存失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重新获取</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送中...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码发送失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取验证码过于频繁,请稍后再试!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>提交中...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登录中...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已转换 %1 张</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>，失败 %1 张</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有找到 HEIC/HEIF 图片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法读取所选的文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法开始转换</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法启动转换程序 velquist-convert</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换未能完成</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换未能完成：%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换已取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换完成</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在转换 %1 / %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在停止…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 张</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择存放目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>该目录没有写入权限!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在转换中,确定要退出吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>图片格式 (*.heic *.heif *.HEIC *.HEIF)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择图片存放目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前任务正在转换中!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>图片预览失败!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>原因不明</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载完成,等待当前转换结束后安装…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>反馈内容不能为空!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>联系方式不能为空!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>反馈信息已提交!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请先登录后进行反馈!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载地址无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件不完整</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件大小不符</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件过大</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件校验失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法保存文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>升级失败,%1!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发现新版本啦!
新版本:%1,安装时程序将关闭。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
当前正在转换,下载完成后将等转换结束再安装。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已是最新版本</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发现新版本啦!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>检查更新失败,服务器回复无效!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
