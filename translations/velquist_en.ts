<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Download</name>
    <message>
        <source>升级下载</source>
        <translation>Downloading update</translation>
    </message>
    <message>
        <source>正在下载新版本，请稍候…</source>
        <translation>Downloading the new version, please wait…</translation>
    </message>
    <message>
        <source>下载进度</source>
        <translation>Download progress</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Feedback</name>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>您的意见对我们非常重要，欢迎留下您的宝贵建议。</source>
        <translation>Your feedback matters to us. Tell us what you think.</translation>
    </message>
    <message>
        <source>反馈内容</source>
        <translation>Your feedback</translation>
    </message>
    <message>
        <source>请输入反馈内容</source>
        <translation>Type your feedback here</translation>
    </message>
    <message>
        <source>请留下您的联系方式（手机号/QQ/邮箱）</source>
        <translation>How can we reach you? (phone, QQ or email)</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Contact us</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Send</translation>
    </message>
</context>
<context>
    <name>Forgot</name>
    <message>
        <source>找回密码</source>
        <translation>Reset password</translation>
    </message>
    <message>
        <source>通过短信验证码重新设置密码</source>
        <translation>Set a new password with a code sent by SMS</translation>
    </message>
    <message>
        <source>请输入手机号</source>
        <translation>Phone number</translation>
    </message>
    <message>
        <source>请输入短信验证码</source>
        <translation>SMS code</translation>
    </message>
    <message>
        <source>获取验证码</source>
        <translation>Get code</translation>
    </message>
    <message>
        <source>请输入新密码</source>
        <translation>New password</translation>
    </message>
    <message>
        <source>请再次输入密码</source>
        <translation>Repeat the password</translation>
    </message>
    <message>
        <source>重置密码</source>
        <translation>Reset password</translation>
    </message>
</context>
<context>
    <name>ImageListContainerElement</name>
    <message>
        <source>待转换</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>转换中</source>
        <translation>Working</translation>
    </message>
    <message>
        <source>转换成功</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>转换失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>已跳过</source>
        <translation>Skipped</translation>
    </message>
</context>
<context>
    <name>Login</name>
    <message>
        <source>登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>欢迎登录 Velquist</source>
        <translation>Welcome to Velquist</translation>
    </message>
    <message>
        <source>使用手机号和密码登录您的账号</source>
        <translation>Log in with your phone number and password</translation>
    </message>
    <message>
        <source>请输入手机号</source>
        <translation>Phone number</translation>
    </message>
    <message>
        <source>请输入密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>登 录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>注册新账号</source>
        <translation>Create an account</translation>
    </message>
    <message>
        <source>忘记密码?</source>
        <translation>Forgot password?</translation>
    </message>
    <message>
        <source>账号将加密存入系统钥匙环,系统可能询问钥匙环密码</source>
        <translation>Your account is stored encrypted in the system keyring; the system may ask for the keyring password</translation>
    </message>
</context>
<context>
    <name>MainTaskMenu</name>
    <message>
        <source>打开主界面</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for updates</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>HEIC 图片批量转换</source>
        <translation>Batch HEIC photo converter</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>注册</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>＋ 添加文件</source>
        <translation>+ Add files</translation>
    </message>
    <message>
        <source>添加 HEIC/HEIF 图片</source>
        <translation>Add HEIC/HEIF photos</translation>
    </message>
    <message>
        <source>添加文件夹</source>
        <translation>Add folder</translation>
    </message>
    <message>
        <source>添加一个文件夹中的全部 HEIC/HEIF 图片</source>
        <translation>Add all HEIC/HEIF photos in a folder</translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation>Conversion progress</translation>
    </message>
    <message>
        <source>打开输出目录</source>
        <translation>Open output folder</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>删除选中</source>
        <translation>Remove selected</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Actions</translation>
    </message>
    <message>
        <source>还没有添加图片</source>
        <translation>No photos added yet</translation>
    </message>
    <message>
        <source>点击下方按钮添加 HEIC/HEIF 图片，也可以直接把文件或文件夹拖到这里</source>
        <translation>Add HEIC/HEIF photos with the button below, or drop files or folders here</translation>
    </message>
    <message>
        <source>添加文件</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>图片列表</source>
        <translation>Photo list</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>图片质量</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>同名文件</source>
        <translation>Existing files</translation>
    </message>
    <message>
        <source>输出目录中已有同名文件时的处理方式</source>
        <translation>What to do when the output folder already has a file with the same name</translation>
    </message>
    <message>
        <source>覆盖</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>跳过</source>
        <translation>Skip</translation>
    </message>
    <message>
        <source>保留两者</source>
        <translation>Keep both</translation>
    </message>
    <message>
        <source>保留 EXIF 信息</source>
        <translation>Keep EXIF data</translation>
    </message>
    <message>
        <source>移除位置信息</source>
        <translation>Remove location</translation>
    </message>
    <message>
        <source>保留 EXIF 信息时去掉其中的拍摄地点（GPS）</source>
        <translation>Keep EXIF data but leave out where the photo was taken (GPS)</translation>
    </message>
    <message>
        <source>保留拍摄日期</source>
        <translation>Keep capture date</translation>
    </message>
    <message>
        <source>输出文件的修改时间设为照片的拍摄时间</source>
        <translation>Set each output file&apos;s modification time to the photo&apos;s capture time</translation>
    </message>
    <message>
        <source>转换全部图像</source>
        <translation>Convert all images</translation>
    </message>
    <message>
        <source>连拍等含多张图像的文件，每张图像各输出一个文件</source>
        <translation>For files holding several images (such as bursts), write one file per image</translation>
    </message>
    <message>
        <source>包含子文件夹</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>添加文件夹时也添加其子文件夹中的图片，输出时保持相同的目录结构</source>
        <translation>Adding a folder also adds the photos in its subfolders; the output keeps the same folder structure</translation>
    </message>
    <message>
        <source>输出目录</source>
        <translation>Output folder</translation>
    </message>
    <message>
        <source>更改目录</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>打开目录</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>开始转换</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>重试失败项</source>
        <translation>Retry failed</translation>
    </message>
    <message>
        <source>把转换失败的文件重新加入转换</source>
        <translation>Convert the files that failed again</translation>
    </message>
    <message>
        <source>尺寸</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>照片长边超过所选像素时按比例缩小，原始为保持原尺寸</source>
        <translation>Photos with a longer edge than the chosen size are scaled down; Original keeps their size</translation>
    </message>
    <message>
        <source>原始</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>长边 3840</source>
        <translation>Long edge 3840</translation>
    </message>
    <message>
        <source>长边 2560</source>
        <translation>Long edge 2560</translation>
    </message>
    <message>
        <source>长边 1920</source>
        <translation>Long edge 1920</translation>
    </message>
    <message>
        <source>长边 1280</source>
        <translation>Long edge 1280</translation>
    </message>
    <message>
        <source>自定义…</source>
        <translation>Custom…</translation>
    </message>
</context>
<context>
    <name>MaxSizeBox</name>
    <message>
        <source>自定义尺寸</source>
        <translation>Custom size</translation>
    </message>
    <message>
        <source>长边像素</source>
        <translation>Long edge in pixels</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>PersonCenter</name>
    <message>
        <source>个人中心</source>
        <translation>My account</translation>
    </message>
    <message>
        <source>当前账号</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>退出登录</source>
        <translation>Log out</translation>
    </message>
</context>
<context>
    <name>PromptBox</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Register</name>
    <message>
        <source>用户注册</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>注册 Velquist 账号</source>
        <translation>Create a Velquist account</translation>
    </message>
    <message>
        <source>注册后即可使用账号服务</source>
        <translation>Sign up to use the account services</translation>
    </message>
    <message>
        <source>请输入手机号</source>
        <translation>Phone number</translation>
    </message>
    <message>
        <source>请输入短信验证码</source>
        <translation>SMS code</translation>
    </message>
    <message>
        <source>获取验证码</source>
        <translation>Get code</translation>
    </message>
    <message>
        <source>请设置密码</source>
        <translation>Choose a password</translation>
    </message>
    <message>
        <source>请再次输入密码</source>
        <translation>Repeat the password</translation>
    </message>
    <message>
        <source>注 册</source>
        <translation>Sign up</translation>
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
        <translation>Tick the files to convert first.</translation>
    </message>
    <message>
        <source>图片尺寸过大</source>
        <translation>Image too large</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>已跳过</source>
        <translation>Skipped</translation>
    </message>
    <message>
        <source>转换超时</source>
        <translation>Timed out</translation>
    </message>
    <message>
        <source>账号或密码错误!</source>
        <translation>Wrong phone number or password.</translation>
    </message>
    <message>
        <source>未知错误!</source>
        <translation>Unknown error.</translation>
    </message>
    <message>
        <source>用户注册成功!</source>
        <translation>Your account has been created.</translation>
    </message>
    <message>
        <source>该用户已注册过!</source>
        <translation>This phone number already has an account.</translation>
    </message>
    <message>
        <source>验证码错误!</source>
        <translation>Wrong code.</translation>
    </message>
    <message>
        <source>验证码无效!</source>
        <translation>The code is no longer valid.</translation>
    </message>
    <message>
        <source>注册失败,请稍后重试!</source>
        <translation>Sign-up failed. Please try again later.</translation>
    </message>
    <message>
        <source>密码重置成功!</source>
        <translation>Your password has been reset.</translation>
    </message>
    <message>
        <source>用户不存在!</source>
        <translation>No account with this phone number.</translation>
    </message>
    <message>
        <source>密码重置失败!</source>
        <translation>The password could not be reset.</translation>
    </message>
    <message>
        <source>手机号不能为空!</source>
        <translation>Enter your phone number.</translation>
    </message>
    <message>
        <source>非法的手机号!</source>
        <translation>This is not a valid phone number.</translation>
    </message>
    <message>
        <source>手机号只能为数字!</source>
        <translation>A phone number has digits only.</translation>
    </message>
    <message>
        <source>密码不能为空!</source>
        <translation>Enter a password.</translation>
    </message>
    <message>
        <source>密码不能超过32位!</source>
        <translation>A password has at most 32 characters.</translation>
    </message>
    <message>
        <source>确认密码不能为空!</source>
        <translation>Repeat the password.</translation>
    </message>
    <message>
        <source>验证码不能为空!</source>
        <translation>Enter the SMS code.</translation>
    </message>
    <message>
        <source>确认密码不一致!</source>
        <translation>The passwords do not match.</translation>
    </message>
    <message>
        <source>网络错误!</source>
        <translation>Network error.</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>网络连接失败,请检查网络!</source>
        <translation>Cannot connect. Check your network.</translation>
    </message>
    <message>
        <source>登录信息保存失败!</source>
        <translation>Your login could not be saved.</translation>
    </message>
    <message>
        <source>重新获取</source>
        <translation>Resend</translation>
    </message>
    <message>
        <source>发送中...</source>
        <translation>Sending...</translation>
    </message>
    <message>
        <source>验证码发送失败!</source>
        <translation>The code could not be sent.</translation>
    </message>
    <message>
        <source>获取验证码过于频繁,请稍后再试!</source>
        <translation>Too many codes requested. Please try again later.</translation>
    </message>
    <message>
        <source>提交中...</source>
        <translation>Sending...</translation>
    </message>
    <message>
        <source>登录中...</source>
        <translation>Logging in...</translation>
    </message>
    <message>
        <source>已转换 %1 张</source>
        <translation>%1 converted</translation>
    </message>
    <message>
        <source>，失败 %1 张</source>
        <translation>, %1 failed</translation>
    </message>
    <message>
        <source>没有找到 HEIC/HEIF 图片</source>
        <translation>No HEIC/HEIF photos found</translation>
    </message>
    <message>
        <source>无法读取所选的文件</source>
        <translation>Cannot read the selected files</translation>
    </message>
    <message>
        <source>无法开始转换</source>
        <translation>Cannot start the conversion</translation>
    </message>
    <message>
        <source>无法启动转换程序 velquist-convert</source>
        <translation>Cannot start the converter velquist-convert</translation>
    </message>
    <message>
        <source>转换未能完成</source>
        <translation>The conversion did not finish</translation>
    </message>
    <message>
        <source>转换未能完成：%1</source>
        <translation>The conversion did not finish: %1</translation>
    </message>
    <message>
        <source>转换已取消</source>
        <translation>Conversion cancelled</translation>
    </message>
    <message>
        <source>转换完成</source>
        <translation>Conversion finished</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation>Conversion progress</translation>
    </message>
    <message>
        <source>正在转换 %1 / %2</source>
        <translation>Converting %1 of %2</translation>
    </message>
    <message>
        <source>正在停止…</source>
        <translation>Stopping…</translation>
    </message>
    <message>
        <source>%1 张</source>
        <translation>%1 images</translation>
    </message>
    <message>
        <source>选择存放目录</source>
        <translation>Choose output folder</translation>
    </message>
    <message>
        <source>该目录没有写入权限!</source>
        <translation>You cannot write to this folder.</translation>
    </message>
    <message>
        <source>正在转换中,确定要退出吗?</source>
        <translation>A conversion is running. Quit anyway?</translation>
    </message>
    <message>
        <source>选择图片存放目录</source>
        <translation>Choose a folder of photos</translation>
    </message>
    <message>
        <source>当前任务正在转换中!</source>
        <translation>A conversion is running.</translation>
    </message>
    <message>
        <source>图片预览失败!</source>
        <translation>The converted photo cannot be opened.</translation>
    </message>
    <message>
        <source>原因不明</source>
        <translation>Unknown reason</translation>
    </message>
    <message>
        <source>下载完成,等待当前转换结束后安装…</source>
        <translation>Downloaded. The update installs when the current conversion ends…</translation>
    </message>
    <message>
        <source>反馈内容不能为空!</source>
        <translation>Type your feedback first.</translation>
    </message>
    <message>
        <source>联系方式不能为空!</source>
        <translation>Leave a way to contact you.</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>反馈信息已提交!</source>
        <translation>Thank you, your feedback has been sent.</translation>
    </message>
    <message>
        <source>请先登录后进行反馈!</source>
        <translation>Please log in to send feedback.</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>下载地址无效</source>
        <translation>bad download address</translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation>network error</translation>
    </message>
    <message>
        <source>文件不完整</source>
        <translation>incomplete file</translation>
    </message>
    <message>
        <source>文件大小不符</source>
        <translation>wrong file size</translation>
    </message>
    <message>
        <source>文件过大</source>
        <translation>file too large</translation>
    </message>
    <message>
        <source>文件校验失败</source>
        <translation>file check failed</translation>
    </message>
    <message>
        <source>无法保存文件</source>
        <translation>cannot save the file</translation>
    </message>
    <message>
        <source>升级失败,%1!</source>
        <translation>Update failed: %1.</translation>
    </message>
    <message>
        <source>发现新版本啦!
新版本:%1,安装时程序将关闭。</source>
        <translation>A new version is available!
Version %1. Velquist closes while it installs.</translation>
    </message>
    <message>
        <source>
当前正在转换,下载完成后将等转换结束再安装。</source>
        <translation>
A conversion is running: the update installs when it ends.</translation>
    </message>
    <message>
        <source>已是最新版本</source>
        <translation>You have the latest version</translation>
    </message>
    <message>
        <source>发现新版本啦!</source>
        <translation>A new version is available!</translation>
    </message>
    <message>
        <source>检查更新失败,服务器回复无效!</source>
        <translation>Update check failed: the server&apos;s answer was not valid.</translation>
    </message>
    <message>
        <source>自定义 (%1)</source>
        <translation>Custom (%1)</translation>
    </message>
    <message>
        <source>请输入照片长边的最大像素数（1～%1）：</source>
        <translation>Largest long edge, in pixels (1–%1):</translation>
    </message>
    <message>
        <source>尺寸须为 1～%1 之间的整数像素，已保留原来的选择。</source>
        <translation>The size must be a whole number of pixels from 1 to %1. The previous choice is kept.</translation>
    </message>
    <message>
        <source>图片格式 (*.heic *.heif *.hif *.HEIC *.HEIF *.HIF)</source>
        <translation>Photos (*.heic *.heif *.hif *.HEIC *.HEIF *.HIF)</translation>
    </message>
    <message>
        <source>已完成 %1 / %2</source>
        <translation>%1 of %2 done</translation>
    </message>
    <message>
        <source>,失败 %1</source>
        <translation>, %1 failed</translation>
    </message>
    <message>
        <source>,剩余约 %1</source>
        <translation>, about %1 left</translation>
    </message>
    <message>
        <source>转换已停止:成功 %1 张,</source>
        <translation>Stopped: %1 converted, </translation>
    </message>
    <message>
        <source>转换完成:成功 %1 张,</source>
        <translation>Finished: %1 converted, </translation>
    </message>
    <message>
        <source>跳过 %1 张,</source>
        <translation>%1 skipped, </translation>
    </message>
    <message>
        <source>失败 %1 张,用时 %2</source>
        <translation>%1 failed, took %2</translation>
    </message>
    <message>
        <source>磁盘空间不足,转换已停止。请清理磁盘空间后再继续转换。</source>
        <translation>The disk is full, so the conversion stopped. Free some space, then convert again.</translation>
    </message>
    <message>
        <source>输出文件夹已不存在,转换已停止。请重新选择输出文件夹后再继续转换。</source>
        <translation>The output folder no longer exists, so the conversion stopped. Choose an output folder, then convert again.</translation>
    </message>
    <message>
        <source>不是有效的 HEIC 图片</source>
        <translation>Not a valid HEIC image</translation>
    </message>
    <message>
        <source>文件无法读取</source>
        <translation>Cannot read the file</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>Disk full</translation>
    </message>
    <message>
        <source>无法写入输出文件</source>
        <translation>Cannot write the output file</translation>
    </message>
    <message>
        <source>输出文件夹已不存在</source>
        <translation>The output folder is gone</translation>
    </message>
    <message>
        <source>转换失败</source>
        <translation>Conversion failed</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 小时 %2 分</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>用法: velquist [选项] [文件或文件夹...]
把 HEIC/HEIF 图片批量转换为 JPG、PNG 或 BMP 的窗口程序。
给出的文件加入图片列表,文件夹中的 HEIC/HEIF 图片按名称顺序加入;
已有窗口在运行时,文件交给它,它来到前台。

选项:
  -h, --help         显示本帮助并退出
  -V, --version      显示版本并退出
  --check-install    检查皮肤和转换程序是否就位并退出

命令行转换请用 velquist-convert(见 velquist-convert --help)。
</source>
        <translation>Usage: velquist [options] [files or folders...]
A desktop program that converts HEIC/HEIF photos to JPG, PNG or BMP in batches.
Files given join the photo list; the HEIC/HEIF photos of a folder join in name order.
When a window is already running, it takes the files and comes to the front.

Options:
  -h, --help         show this help and quit
  -V, --version      show the version and quit
  --check-install    check that the skin and the converter are in place, then quit

To convert from the command line, use velquist-convert (see velquist-convert --help).
</translation>
    </message>
</context>
</TS>
