<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Console</name>
    <message>
        <source>upgraded</source>
        <translation>已升级</translation>
    </message>
    <message>
        <source>not upgraded: %1</source>
        <translation>未升级: %1</translation>
    </message>
    <message>
        <source>upgraded, not verified (--no-verify)</source>
        <translation>已升级，未校验（--no-verify）</translation>
    </message>
    <message>
        <source>written, not verified: %1</source>
        <translation>已写入，未校验: %1</translation>
    </message>
    <message>
        <source>%1 upgraded, %2 written but not verified, %3 failed</source>
        <translation>%1 台已升级，%2 台已写入但未校验，%3 台失败</translation>
    </message>
</context>
<context>
    <name>DfuOutput</name>
    <message>
        <source>Open DFU device...</source>
        <translation>正在打开 DFU 设备...</translation>
    </message>
    <message>
        <source>Obtain USB DFU interface...</source>
        <translation>正在获取 USB DFU 接口...</translation>
    </message>
    <message>
        <source>Set interface mode...</source>
        <translation>正在设置接口模式...</translation>
    </message>
    <message>
        <source>Detecting equipment status...</source>
        <translation>正在检测设备状态...</translation>
    </message>
    <message>
        <source>Clear device status...</source>
        <translation>正在清除设备状态...</translation>
    </message>
    <message>
        <source>Equipment ready, start burning...</source>
        <translation>设备就绪，开始烧录...</translation>
    </message>
    <message>
        <source>Submit a request to leave...</source>
        <translation>正在请求退出 DFU 模式...</translation>
    </message>
    <message>
        <source>Switch to dfuMANIFEST state...</source>
        <translation>正在切换到 dfuMANIFEST 状态...</translation>
    </message>
    <message>
        <source>Reset USB device...</source>
        <translation>正在复位 USB 设备...</translation>
    </message>
    <message>
        <source>Erase Flash: %1% (%2 bytes)</source>
        <translation>擦除闪存: %1% (%2 字节)</translation>
    </message>
    <message>
        <source>firmware burning: %1% (%2/%3 bytes)</source>
        <translation>烧录固件: %1% (%2/%3 字节)</translation>
    </message>
    <message>
        <source>Firmware burning completed!</source>
        <translation>固件烧录完成！</translation>
    </message>
    <message>
        <source>Verifying written firmware: %1% (%2/%3 bytes)</source>
        <translation>校验已写入的固件: %1% (%2/%3 字节)</translation>
    </message>
</context>
<context>
    <name>DfuUtilPath</name>
    <message>
        <source>dfu-util does not exist: %1</source>
        <translation>dfu-util 不存在: %1</translation>
    </message>
    <message>
        <source>dfu-util is not executable: %1</source>
        <translation>dfu-util 不可执行: %1</translation>
    </message>
</context>
<context>
    <name>Diagnosis</name>
    <message>
        <source>%1 %2</source>
        <comment>one sentence after another</comment>
        <translation>%1%2</translation>
    </message>
    <message>
        <source>save the log (right-click the log, then &quot;Save log…&quot;) and contact support</source>
        <translation>保存日志（在日志上单击右键，选择“保存日志…”）并联系技术支持</translation>
    </message>
    <message>
        <source>Put the device into DFU mode: hold the &quot;1&quot; key, switch the device on, wait 2-3 seconds and release the key. Connect it with a data cable, not a charging-only cable, to a USB port on the computer itself rather than a hub; the question-mark button shows a picture of the steps.</source>
        <translation>让设备进入 DFU 模式：按住“1”键，打开设备电源，等待 2-3 秒后松开按键。请用数据线（不要用只能充电的线）把设备直接连接到电脑的 USB 口，不要经过集线器；问号按钮里有操作步骤的图示。</translation>
    </message>
    <message>
        <source>If it happens again, %1.</source>
        <translation>如果问题再次出现，请%1。</translation>
    </message>
    <message>
        <source>Check that the connected device is a Ravlo device; if it is, %1.</source>
        <translation>请确认连接的是 Ravlo 设备；如果是，请%1。</translation>
    </message>
    <message>
        <source>Reinstall the program.</source>
        <translation>请重新安装本程序。</translation>
    </message>
    <message>
        <source>Reinstall the program, or install dfu-util with &quot;sudo apt install dfu-util&quot;.</source>
        <translation>请重新安装本程序，或用“sudo apt install dfu-util”安装 dfu-util。</translation>
    </message>
    <message>
        <source>Close other flashing tools and programs that use the device, then disconnect and reconnect it and press Upgrade again.</source>
        <translation>请关闭正在使用该设备的其他烧录工具和程序，然后拔下设备重新连接，再按“升级”。</translation>
    </message>
    <message>
        <source>A udev rule for the device is installed; it gives access to the user logged in at the computer itself. Disconnect and reconnect the device, and run the program in a session at the computer itself rather than over a remote connection.</source>
        <translation>该设备的 udev 规则已安装，它只允许在这台电脑前登录的用户访问设备。请拔下设备重新连接，并在这台电脑前的本地会话中运行本程序，不要通过远程连接运行。</translation>
    </message>
    <message>
        <source>Install the udev rule 70-ravlo-dfu.rules that comes with the program (&quot;sudo cp 70-ravlo-dfu.rules /etc/udev/rules.d/&quot;, then &quot;sudo udevadm control --reload-rules&quot;), or Debian&apos;s dfu-util package, which brings such a rule (&quot;sudo apt install dfu-util&quot;); then disconnect and reconnect the device.</source>
        <translation>请安装程序自带的 udev 规则 70-ravlo-dfu.rules（“sudo cp 70-ravlo-dfu.rules /etc/udev/rules.d/”，然后“sudo udevadm control --reload-rules”），或安装带有此类规则的 Debian dfu-util 软件包（“sudo apt install dfu-util”）；然后拔下设备重新连接。</translation>
    </message>
    <message>
        <source>The Ravlo device is connected, but another program is using it.</source>
        <translation>Ravlo 设备已连接，但正被其他程序占用。</translation>
    </message>
    <message>
        <source>The Ravlo device is connected, but this user may not open it.</source>
        <translation>Ravlo 设备已连接，但当前用户无权打开它。</translation>
    </message>
    <message>
        <source>The Ravlo device is connected, but the WinUSB driver for its DFU mode is not installed.</source>
        <translation>Ravlo 设备已连接，但未安装其 DFU 模式所需的 WinUSB 驱动。</translation>
    </message>
    <message>
        <source>Install the driver that comes with the program (right-click ravlo-dfu.inf in the program&apos;s folder and choose Install, or run &quot;pnputil /add-driver ravlo-dfu.inf /install&quot; as administrator), then disconnect and reconnect the device.</source>
        <translation>请安装程序自带的驱动（在程序文件夹中右键单击 ravlo-dfu.inf 并选择“安装”，或以管理员身份运行“pnputil /add-driver ravlo-dfu.inf /install”），然后拔下设备重新连接。</translation>
    </message>
    <message>
        <source>No Ravlo device in DFU mode was found.</source>
        <translation>未找到处于 DFU 模式的 Ravlo 设备。</translation>
    </message>
    <message>
        <source>A USB device in DFU mode was found, but it is not a Ravlo device.</source>
        <translation>找到一个处于 DFU 模式的 USB 设备，但它不是 Ravlo 设备。</translation>
    </message>
    <message>
        <source>Disconnect the other device.</source>
        <translation>请断开另一台设备。</translation>
    </message>
    <message>
        <source>%1 Ravlo devices in DFU mode were found.</source>
        <translation>找到 %1 台处于 DFU 模式的 Ravlo 设备。</translation>
    </message>
    <message>
        <source>More than one Ravlo device in DFU mode was found.</source>
        <translation>找到多台处于 DFU 模式的 Ravlo 设备。</translation>
    </message>
    <message>
        <source>Connect only the device to upgrade and press Upgrade again.</source>
        <translation>请只连接要升级的设备，然后再按“升级”。</translation>
    </message>
    <message>
        <source>The firmware image (%1 bytes) is larger than the device&apos;s flash memory (%2 bytes); nothing was written.</source>
        <translation>固件镜像（%1 字节）大于设备的闪存（%2 字节），未写入任何内容。</translation>
    </message>
    <message>
        <source>The firmware image does not fit this device&apos;s memory (wrong image or wrong device); nothing was written.</source>
        <translation>固件镜像与此设备的存储器不匹配（镜像或设备不对），未写入任何内容。</translation>
    </message>
    <message>
        <source>The device reported an error while storing the firmware.</source>
        <translation>设备在保存固件时报告了错误。</translation>
    </message>
    <message>
        <source>Press Upgrade to try once more.</source>
        <translation>请按“升级”再试一次。</translation>
    </message>
    <message>
        <source>The device refused to erase or write its flash memory.</source>
        <translation>设备拒绝擦除或写入其闪存。</translation>
    </message>
    <message>
        <source>The flash may be protected, or the connection unstable: try once more on a short cable plugged into the computer without a hub.</source>
        <translation>闪存可能处于保护状态，或连接不稳定：请用一根短数据线直接连接电脑（不经过集线器），再试一次。</translation>
    </message>
    <message>
        <source>dfu-util, the tool that writes the firmware, was not found.</source>
        <translation>未找到用于写入固件的工具 dfu-util。</translation>
    </message>
    <message>
        <source>dfu-util, the tool that writes the firmware, could not be started.</source>
        <translation>无法启动用于写入固件的工具 dfu-util。</translation>
    </message>
    <message>
        <source>dfu-util, the tool that writes the firmware, could not be started (%1).</source>
        <translation>无法启动用于写入固件的工具 dfu-util（%1）。</translation>
    </message>
    <message>
        <source>dfu-util stopped unexpectedly while writing; the device may not be fully written.</source>
        <translation>dfu-util 在写入时意外退出，设备可能未完整写入。</translation>
    </message>
    <message>
        <source>dfu-util stopped unexpectedly while looking for the device.</source>
        <translation>dfu-util 在查找设备时意外退出。</translation>
    </message>
    <message>
        <source>Put the device into DFU mode again and press Upgrade.</source>
        <translation>请让设备重新进入 DFU 模式，然后按“升级”。</translation>
    </message>
    <message>
        <source>Press Upgrade to try again.</source>
        <translation>请按“升级”重试。</translation>
    </message>
    <message>
        <source>dfu-util stopped responding while writing and was ended; the device may not be fully written.</source>
        <translation>dfu-util 在写入时停止响应，已被终止；设备可能未完整写入。</translation>
    </message>
    <message>
        <source>dfu-util stopped responding while looking for the device and was ended.</source>
        <translation>dfu-util 在查找设备时停止响应，已被终止。</translation>
    </message>
    <message>
        <source>Disconnect the device, put it into DFU mode again and press Upgrade.</source>
        <translation>请拔下设备，让它重新进入 DFU 模式，然后按“升级”。</translation>
    </message>
    <message>
        <source>dfu-util failed with exit code %1.</source>
        <translation>dfu-util 执行失败，退出码为 %1。</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <comment>a device at a USB path</comment>
        <translation>%2 处的 %1</translation>
    </message>
    <message>
        <source>The scan before it saw: %1.</source>
        <translation>此前的扫描发现了：%1。</translation>
    </message>
    <message>
        <source>Besides the Ravlo device to upgrade, another one in DFU mode is connected that dfu-util cannot open; nothing was written.</source>
        <translation>除了要升级的 Ravlo 设备之外，还连接着另一台处于 DFU 模式、dfu-util 无法打开的 Ravlo 设备；未写入任何内容。</translation>
    </message>
    <message>
        <source>Disconnect the Ravlo devices you do not want to upgrade and press Upgrade again.</source>
        <translation>请断开不需要升级的 Ravlo 设备，然后再按“升级”。</translation>
    </message>
    <message>
        <source>dfu-util found more than one DFU device, although the program named its device by its USB path (%1).</source>
        <translation>尽管程序已按 USB 路径（%1）指定了设备，dfu-util 仍发现了不止一个 DFU 设备。</translation>
    </message>
    <message>
        <source>If another device that updates itself over USB is plugged in (a sound card, a webcam, a tool), disconnect it and press Upgrade again.</source>
        <translation>如果插着其他可通过 USB 自行更新的设备（声卡、摄像头、工具等），请将其断开，然后再按“升级”。</translation>
    </message>
    <message>
        <source>Devices built into the computer, such as its Bluetooth or Wi-Fi, cannot be disconnected: if only those are left, %1.</source>
        <translation>电脑内置的设备（如蓝牙或 Wi-Fi）无法断开：如果只剩下这类设备，请%1。</translation>
    </message>
    <message>
        <source>The USB connection to the device broke off; the device may not be fully written.</source>
        <translation>与设备的 USB 连接中断，设备可能没有完全写入。</translation>
    </message>
    <message>
        <source>It can still be upgraded: put it into DFU mode again and press Upgrade.</source>
        <translation>设备仍可升级：请让设备重新进入 DFU 模式，然后按“升级”。</translation>
    </message>
    <message>
        <source>A USB link breaks off through the cable, the port, a hub or the power: use another data cable on a port of the computer itself, without a hub. A laptop running on its charger can break the link through a poor ground; try it on battery.</source>
        <translation>USB 连接可能因数据线、接口、集线器或供电而中断：请换一根数据线，直接插在电脑本身的接口上，不要经过集线器。笔记本电脑插着充电器时，接地不良也会使连接中断；请改用电池供电再试。</translation>
    </message>
    <message>
        <source>The device found that the firmware it had written was wrong.</source>
        <translation>设备发现其写入的固件有误。</translation>
    </message>
    <message>
        <source>The device refused the memory address the firmware is written to: the image is not meant for this device.</source>
        <translation>设备拒绝了固件写入的存储地址：该固件不是为此设备准备的。</translation>
    </message>
    <message>
        <source>The device&apos;s flash memory is read-protected, so it refuses to be written.</source>
        <translation>设备的闪存处于读保护状态，因此拒绝写入。</translation>
    </message>
    <message>
        <source>Lifting the protection erases the whole device; %1.</source>
        <translation>解除保护会擦除整个设备；请%1。</translation>
    </message>
    <message>
        <source>dfu-util did not accept the command the program gave it (%1).</source>
        <translation>dfu-util 不接受程序给出的命令（%1）。</translation>
    </message>
    <message>
        <source>dfu-util could not read or write a file of the upgrade (%1).</source>
        <translation>dfu-util 无法读取或写入升级所用的文件（%1）。</translation>
    </message>
    <message>
        <source>Make sure the temporary folder has room and may be written, then press Upgrade again.</source>
        <translation>请确认临时文件夹有足够空间且可写入，然后再按“升级”。</translation>
    </message>
    <message>
        <source>dfu-util reported a failed step but ended as if it had succeeded; the device may not be fully written.</source>
        <translation>dfu-util 报告某个步骤失败，却又像成功一样结束；设备可能没有完全写入。</translation>
    </message>
    <message>
        <source>The connection to the device was lost while the firmware was being read back, so it is not known whether the device keeps it.</source>
        <translation>读回固件时与设备的连接断开，因此无法确定设备是否保存了固件。</translation>
    </message>
    <message>
        <source>The device did not keep the firmware: what it gave back when it was read is not what was written.</source>
        <translation>设备没有保存固件：从设备读回的内容与写入的内容不同。</translation>
    </message>
    <message>
        <source>The device is still in DFU mode: press Upgrade to write it again.</source>
        <translation>设备仍处于 DFU 模式：请按“升级”重新写入。</translation>
    </message>
    <message>
        <source>The firmware was written, but the device refused to be read back, so the write could not be checked. Devices with read-protected flash, and bootloaders that cannot read, do this.</source>
        <translation>固件已写入，但设备拒绝读回，因此无法校验写入结果。闪存开启了读保护的设备，以及不支持读取的引导程序都会这样。</translation>
    </message>
    <message>
        <source>Switch the device off and on again: if it starts with the new firmware, the upgrade worked. If not, put it into DFU mode and press Upgrade again.</source>
        <translation>请关闭设备电源后重新打开：如果设备以新固件启动，说明升级成功。否则请让设备进入 DFU 模式，再按“升级”。</translation>
    </message>
    <message>
        <source>keep the program&apos;s output and contact support</source>
        <translation>保存程序的输出并联系技术支持</translation>
    </message>
    <message>
        <source>Put the device into DFU mode: hold the &quot;1&quot; key, switch the device on, wait 2-3 seconds and release the key. Connect it with a data cable, not a charging-only cable, to a USB port on the computer itself rather than a hub.</source>
        <translation>让设备进入 DFU 模式：按住“1”键，打开设备电源，等待 2-3 秒后松开按键。请用数据线（不要用只能充电的线）把设备直接连接到电脑的 USB 口，不要经过集线器。</translation>
    </message>
    <message>
        <source>Run the command again.</source>
        <translation>请重新运行该命令。</translation>
    </message>
    <message>
        <source>Put the device into DFU mode again and run the command again.</source>
        <translation>请让设备重新进入 DFU 模式，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>Close other flashing tools and programs that use the device, then disconnect and reconnect it and run the command again.</source>
        <translation>请关闭正在使用该设备的其他烧录工具和程序，然后拔下设备重新连接，再重新运行该命令。</translation>
    </message>
    <message>
        <source>Name the device to upgrade with --serial, or upgrade them all with --all; or connect only the device to upgrade and run the command again.</source>
        <translation>请用 --serial 指定要升级的设备，或用 --all 升级全部设备；也可以只连接要升级的设备，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>Name the device to upgrade with --serial, or disconnect the Ravlo devices you do not want to upgrade and run the command again.</source>
        <translation>请用 --serial 指定要升级的设备，或断开不需要升级的 Ravlo 设备，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>If another device that updates itself over USB is plugged in (a sound card, a webcam, a tool), disconnect it and run the command again.</source>
        <translation>如果插着其他可通过 USB 自行更新的设备（声卡、摄像头、工具等），请将其断开，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>It can still be upgraded: put it into DFU mode again and run the command again.</source>
        <translation>设备仍可升级：请让设备重新进入 DFU 模式，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>Run the command again to try once more.</source>
        <translation>请重新运行该命令再试一次。</translation>
    </message>
    <message>
        <source>Make sure the temporary folder has room and may be written, then run the command again.</source>
        <translation>请确认临时文件夹有足够空间且可写入，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>The device is still in DFU mode: run the command again to write it again.</source>
        <translation>设备仍处于 DFU 模式：请重新运行该命令，再次写入。</translation>
    </message>
    <message>
        <source>Switch the device off and on again: if it starts with the new firmware, the upgrade worked. If not, put it into DFU mode and run the command again.</source>
        <translation>请关闭设备电源后重新打开：如果设备以新固件启动，说明升级成功。否则请让设备进入 DFU 模式，然后重新运行该命令。</translation>
    </message>
    <message>
        <source>Disconnect the device, put it into DFU mode again and run the command again.</source>
        <translation>请拔下设备，让它重新进入 DFU 模式，然后重新运行该命令。</translation>
    </message>
</context>
<context>
    <name>DialogGuidance</name>
    <message>
        <source>Upgrade Instructions</source>
        <translation>升级说明</translation>
    </message>
</context>
<context>
    <name>DownloadProgress</name>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>%1s</source>
        <comment>seconds</comment>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>Download firmware: %1% (%2) remaining: %3</source>
        <translation>下载固件: %1% (%2) 剩余时间: %3</translation>
    </message>
</context>
<context>
    <name>FlashCli</name>
    <message>
        <source>Try &apos;ravlo-flash --help&apos;.</source>
        <translation>运行“ravlo-flash --help”查看帮助。</translation>
    </message>
    <message>
        <source>command</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>list, info or upgrade</source>
        <translation>list、info 或 upgrade</translation>
    </message>
    <message>
        <source>One JSON object a line for every event.</source>
        <translation>每个事件输出一行 JSON 对象。</translation>
    </message>
    <message>
        <source>upgrade: only the device with this serial.</source>
        <translation>upgrade: 只升级具有此序列号的设备。</translation>
    </message>
    <message>
        <source>upgrade: every attached Ravlo device, in turn.</source>
        <translation>upgrade: 依次升级所有已连接的 Ravlo 设备。</translation>
    </message>
    <message>
        <source>upgrade --all: all at the same time.</source>
        <translation>upgrade --all: 同时升级所有设备。</translation>
    </message>
    <message>
        <source>upgrade: keep running and upgrade every Ravlo device as it is plugged in, until Ctrl-C.</source>
        <translation>upgrade: 持续运行，每插入一台 Ravlo 设备就升级它，直到按下 Ctrl-C。</translation>
    </message>
    <message>
        <source>upgrade: write this image instead of the bucket&apos;s (with --sha256).</source>
        <translation>upgrade: 写入此镜像文件，而不是存储桶中的镜像（需同时指定 --sha256）。</translation>
    </message>
    <message>
        <source>upgrade --file: the image&apos;s SHA-256 digest.</source>
        <translation>upgrade --file: 镜像文件的 SHA-256 摘要。</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>未指定命令</translation>
    </message>
    <message>
        <source>one command at a time</source>
        <translation>一次只能执行一个命令</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>未知命令“%1”</translation>
    </message>
    <message>
        <source>that option goes with upgrade only</source>
        <translation>该选项只能与 upgrade 一起使用</translation>
    </message>
    <message>
        <source>--parallel goes with --all</source>
        <translation>--parallel 只能与 --all 一起使用</translation>
    </message>
    <message>
        <source>--all goes with neither --wait nor --serial</source>
        <translation>--all 不能与 --wait 或 --serial 一起使用</translation>
    </message>
    <message>
        <source>--file and --sha256 go together</source>
        <translation>--file 和 --sha256 必须一起使用</translation>
    </message>
    <message>
        <source>--sha256 takes 64 hexadecimal digits</source>
        <translation>--sha256 需要 64 位十六进制数字</translation>
    </message>
    <message>
        <source>--bucket takes an https address (plain http only to this computer)</source>
        <translation>--bucket 需要 https 地址（只有本机地址可用普通 http）</translation>
    </message>
    <message>
        <source>%1 KiB flash</source>
        <translation>闪存 %1 KiB</translation>
    </message>
    <message>
        <source>no usable dfu-util at %1</source>
        <translation>%1 处没有可用的 dfu-util</translation>
    </message>
    <message>
        <source>dfu-util -l did not finish: %1</source>
        <translation>dfu-util -l 未能完成: %1</translation>
    </message>
    <message>
        <source>Ravlo, DFU mode</source>
        <translation>Ravlo，DFU 模式</translation>
    </message>
    <message>
        <source>other device, DFU mode</source>
        <translation>其他设备，DFU 模式</translation>
    </message>
    <message>
        <source>run-time mode</source>
        <translation>运行模式</translation>
    </message>
    <message>
        <source>%1  %2  serial %3  %4  %5</source>
        <translation>%1  %2  序列号 %3  %4  %5</translation>
    </message>
    <message>
        <source>No DFU device attached.</source>
        <translation>未连接 DFU 设备。</translation>
    </message>
    <message>
        <source>the update information could not be loaded: %1</source>
        <translation>无法加载更新信息: %1</translation>
    </message>
    <message>
        <source>Firmware: %1 (%2, %3 bytes)</source>
        <translation>固件:     %1（%2，%3 字节）</translation>
    </message>
    <message>
        <source>SHA-256:  %1</source>
        <translation>SHA-256:  %1</translation>
    </message>
    <message>
        <source>Program:  %1 is available; this is %2</source>
        <translation>程序:     有新版本 %1，当前为 %2</translation>
    </message>
    <message>
        <source>Program:  %1 is the newest (newest named: %2)</source>
        <translation>程序:     %1 已是最新版本（清单中的最新版本: %2）</translation>
    </message>
    <message>
        <source>The update bucket&apos;s address (https; plain http only to this computer); what it serves is held to this program&apos;s signing keys.</source>
        <translation>更新存储桶的地址（https；只有本机地址可用普通 http）；其内容同样须通过本程序签名公钥的验证。</translation>
    </message>
    <message>
        <source>the update information could not be verified: %1</source>
        <translation>无法验证更新信息: %1</translation>
    </message>
    <message>
        <source>Signed:   not checked (this build trusts no key)</source>
        <translation>签名:     未校验（此版本未配置任何签名公钥）</translation>
    </message>
    <message>
        <source>Signed:   by key %1, sequence %2, valid until %3</source>
        <translation>签名:     公钥 %1，序号 %2，有效期至 %3</translation>
    </message>
    <message>
        <source>upgrade: do not read the image back before the device leaves DFU mode; the result says so.</source>
        <translation>upgrade: 在设备退出 DFU 模式前不读回固件镜像进行校验；结果中会注明。</translation>
    </message>
    <message>
        <source>upgrade: append a line for every device&apos;s result to this file, JSON Lines (.jsonl) or CSV (.csv).</source>
        <translation>upgrade：把每台设备的结果追加为此文件中的一行，格式为 JSON Lines（.jsonl）或 CSV（.csv）。</translation>
    </message>
    <message>
        <source>upgrade --record: the name of this station in the record (default: the host name).</source>
        <translation>upgrade --record：记录中本工位的名称（默认：主机名）。</translation>
    </message>
    <message>
        <source>--station goes with --record</source>
        <translation>--station 须与 --record 一起使用</translation>
    </message>
    <message>
        <source>Downloads, verifies and writes the Ravlo firmware from the command line.

Commands:
  list      the dfu-util in use and every attached DFU device
  info      the newest firmware and program versions named by the update manifest
  upgrade   write the newest firmware into the attached Ravlo device (in DFU mode)

Exit codes:
  0    every requested device was upgraded (list, info: done)
  2    usage error
  3    no device to write, several without --serial or --all, no access to it,
       or no usable dfu-util
  4    the update information or the image could not be downloaded, or the
       update information could not be verified (--offline: none is kept that
       can be used)
  5    the image is not the one its digest names; nothing was written
  6    a device was not written (under --all or --wait: at least one)
  7    a device did not keep the image: what it gave back when read differs
  8    written, but the device refused to be read back, so not verified
       (under --all or --wait: the first of 6, 7, 8 that applies to a device)
  130  interrupted (Ctrl-C, SIGTERM, SIGHUP) before the upgrade ended; under
       --wait, while a device was being upgraded

Records: --record FILE appends a line for every device&apos;s result, JSON Lines
(.jsonl) or CSV (.csv): time (UTC), station, path, serial, firmware, sha256,
verdict (verified, written, unproven, failed, or refused: nothing written),
cause, seconds, program.

Examples:
  ravlo-flash upgrade
  ravlo-flash upgrade --all --parallel --json
  ravlo-flash upgrade --wait --record line-7.jsonl --station line-7
  ravlo-flash upgrade --offline
  ravlo-flash upgrade --wait --file Ravlo.bin --sha256 &lt;64 hex digits&gt;</source>
        <translation>从命令行下载、校验并写入 Ravlo 固件。

命令：
  list      正在使用的 dfu-util，以及所有已连接的 DFU 设备
  info      更新清单中的最新固件版本和程序版本
  upgrade   把最新固件写入已连接的 Ravlo 设备（需处于 DFU 模式）

退出码：
  0    所有指定的设备都已升级（list、info: 已完成）
  2    用法错误
  3    没有可写入的设备、有多台设备但未指定 --serial 或 --all、无权访问设备，
       或没有可用的 dfu-util
  4    无法下载更新信息或固件镜像，或无法验证更新信息（--offline: 没有可用的
       保留内容）
  5    固件镜像与其摘要不符，未写入任何内容
  6    有设备未写入（使用 --all 或 --wait 时: 至少一台）
  7    有设备没有保存固件：读回的内容与写入的不同
  8    已写入，但设备拒绝读回，因此未经校验
       （使用 --all 或 --wait 时: 取适用于某台设备的 6、7、8 中的第一个）
  130  升级结束前被中断（Ctrl-C、SIGTERM、SIGHUP）；使用 --wait 时：
       在有设备正在升级时被中断

记录：--record 文件 为每台设备的结果追加一行，格式为 JSON Lines（.jsonl）
或 CSV（.csv）：time（UTC 时间）、station（工位）、path（USB 路径）、
serial（序列号）、firmware（固件版本）、sha256、verdict（verified、written、
unproven、failed，或 refused：未写入任何内容）、cause（原因）、
seconds（秒数）、program（程序版本）。

示例：
  ravlo-flash upgrade
  ravlo-flash upgrade --all --parallel --json
  ravlo-flash upgrade --wait --record line-7.jsonl --station line-7
  ravlo-flash upgrade --offline
  ravlo-flash upgrade --wait --file Ravlo.bin --sha256 &lt;64 位十六进制摘要&gt;</translation>
    </message>
    <message>
        <source>upgrade: without the network: the image an earlier upgrade kept, named by the update information accepted last, while its signature is valid.</source>
        <translation>upgrade：不使用网络：写入之前一次升级保留的固件镜像，即最后接受的更新信息所指定的镜像（须在其签名有效期内）。</translation>
    </message>
    <message>
        <source>--offline goes with neither --file nor --bucket</source>
        <translation>--offline 不能与 --file 或 --bucket 同时使用</translation>
    </message>
</context>
<context>
    <name>ImageCache</name>
    <message>
        <source>No update information is kept on this computer; run an upgrade with the network first</source>
        <translation>这台计算机上没有保留更新信息；请先在联网状态下执行一次升级</translation>
    </message>
    <message>
        <source>The update information kept on this computer cannot be used (%1); run an upgrade with the network</source>
        <translation>这台计算机上保留的更新信息无法使用（%1）；请在联网状态下执行升级</translation>
    </message>
    <message>
        <source>it names no SHA-256 digest for the firmware image</source>
        <translation>其中没有固件镜像的 SHA-256 摘要</translation>
    </message>
    <message>
        <source>The firmware image the kept update information names is not kept on this computer; run an upgrade with the network first</source>
        <translation>保留的更新信息所指定的固件镜像未保留在这台计算机上；请先在联网状态下执行一次升级</translation>
    </message>
</context>
<context>
    <name>ImageDownload</name>
    <message>
        <source>Failed to create firmware file</source>
        <translation>无法创建固件文件</translation>
    </message>
    <message>
        <source>Failed to write firmware file</source>
        <translation>无法写入固件文件</translation>
    </message>
    <message>
        <source>Unexpected server response (HTTP %1)</source>
        <translation>服务器响应异常（HTTP %1）</translation>
    </message>
    <message>
        <source>The server sent the whole firmware image again; the download starts over</source>
        <translation>服务器重新发送了完整的固件镜像；下载从头开始</translation>
    </message>
    <message>
        <source>The server does not continue the firmware image where the download stopped</source>
        <translation>服务器没有从下载中断处继续发送固件镜像</translation>
    </message>
    <message>
        <source>The server does not continue the firmware image where the download stopped; the download starts over</source>
        <translation>服务器没有从下载中断处继续发送固件镜像；下载从头开始</translation>
    </message>
    <message>
        <source>Network error: the connection ended before the whole firmware image had come</source>
        <translation>网络错误: 连接在固件镜像全部收到之前就已结束</translation>
    </message>
    <message>
        <source>%1 (tried %2 times)</source>
        <translation>%1（已尝试 %2 次）</translation>
    </message>
    <message>
        <source>Download interrupted after %1 bytes (%2); trying again in %3 s, retry %4 of %5</source>
        <translation>下载在 %1 字节后中断（%2）；%3 秒后重试，第 %4 次，共 %5 次</translation>
    </message>
</context>
<context>
    <name>LogViewMenu</name>
    <message>
        <source>Copy all</source>
        <translation>全部复制</translation>
    </message>
    <message>
        <source>Save log…</source>
        <translation>保存日志…</translation>
    </message>
    <message>
        <source>Save log</source>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <translation>文本文件 (*.txt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>The log could not be saved to %1.</source>
        <translation>无法将日志保存到 %1。</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Get Version</source>
        <translation>获取版本</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
    <message>
        <source>Popular on %1</source>
        <comment>%1: the store&apos;s host name</comment>
        <translation>%1 热门产品</translation>
    </message>
    <message>
        <source>%1 is the official online store of the manufacturer of products including Sarvel KV2 and Ravlo‑Q70, integrating product sales, pre-sales consultation, after-sales support, and document download services.</source>
        <comment>%1: the store&apos;s host name</comment>
        <translation>%1 是 Sarvel KV2、Ravlo‑Q70 等产品制造商的官方网上商店，集产品销售、售前咨询、售后支持和文档下载服务于一体。</translation>
    </message>
    <message>
        <source>Please press and hold the &quot;1&quot; key, then turn on the power switch and wait 2-3 seconds before releasing the &quot;1&quot; key. This will bring the device to the &quot;DFU FW update mode&quot; interface. Ensure the device is connected to your PC.</source>
        <translation>请按住“1”键，然后打开电源开关，等待 2-3 秒后再松开“1”键，设备即进入“DFU FW update mode”界面。请确保设备已连接到电脑。</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>dfu-util Verification failed: No executable dfu-util found: %1</source>
        <translation>dfu-util 校验失败: 找不到可执行的 dfu-util: %1</translation>
    </message>
    <message>
        <source>Dependency error</source>
        <translation>依赖错误</translation>
    </message>
    <message>
        <source>dfu-util not found or unavailable
Please ensure that the executable file exists at the following path:
%1</source>
        <translation>找不到 dfu-util 或它无法使用
请确认以下路径下有该可执行文件：
%1</translation>
    </message>
    <message>
        <source>Click to visit: %1</source>
        <translation>点击访问: %1</translation>
    </message>
    <message>
        <source>Download in progress, please wait for completion</source>
        <translation>正在下载，请等待下载完成</translation>
    </message>
    <message>
        <source>Upgrade in Progress</source>
        <translation>正在升级</translation>
    </message>
    <message>
        <source>An upgrade is already in progress. Do you want to cancel it and start a new one?</source>
        <translation>已有升级正在进行。要取消它并重新开始吗？</translation>
    </message>
    <message>
        <source>Upgrade process error: %1</source>
        <translation>升级过程出错: %1</translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Process Error</source>
        <translation>进程错误</translation>
    </message>
    <message>
        <source>dfu-util process execution failed!

Error type: %1
Details: %2</source>
        <translation>dfu-util 进程执行失败！

错误类型: %1
详细信息: %2</translation>
    </message>
    <message>
        <source>Upgrade Successful</source>
        <translation>升级成功</translation>
    </message>
    <message>
        <source>Firmware upgrade completed successfully!</source>
        <translation>固件升级成功！</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Failed to download the update information: %1</source>
        <translation>下载manifest失败: %1</translation>
    </message>
    <message>
        <source>New version found</source>
        <translation>发现新版本</translation>
    </message>
    <message>
        <source>Detected a new version %1
The current version is %2</source>
        <translation>检测到新版本 %1
当前版本为 %2</translation>
    </message>
    <message>
        <source>Do you want to go to the official website immediately to download the latest version?</source>
        <translation>是否立即前往官方网站下载最新版本？</translation>
    </message>
    <message>
        <source>Upgrading in progress, please wait for completion</source>
        <translation>正在升级，请等待升级完成</translation>
    </message>
    <message>
        <source>The latest version is %1</source>
        <translation>最新版本为 %1</translation>
    </message>
    <message>
        <source>Demo: the Ravlo device is simulated and the update bucket is local (%1).</source>
        <translation>演示：Ravlo 设备是模拟的，更新存储桶在本机（%1）。</translation>
    </message>
    <message>
        <source>The update information could not be verified: %1. No firmware is written without verified update information.</source>
        <translation>无法验证更新信息: %1。未经验证的更新信息不会用于写入任何固件。</translation>
    </message>
    <message>
        <source>Firmware Written, Not Verified</source>
        <translation>固件已写入，未校验</translation>
    </message>
    <message>
        <source>Firmware written, not verified</source>
        <translation>固件已写入，未校验</translation>
    </message>
</context>
<context>
    <name>Manifest</name>
    <message>
        <source>The download address is empty</source>
        <translation>下载URL为空</translation>
    </message>
    <message>
        <source>The address is not a valid URL</source>
        <translation>URL格式无效</translation>
    </message>
    <message>
        <source>HTTP error: %1</source>
        <translation>HTTP错误: %1</translation>
    </message>
    <message>
        <source>The downloaded data is empty</source>
        <translation>下载的数据为空</translation>
    </message>
    <message>
        <source>The file path is empty</source>
        <translation>文件路径为空</translation>
    </message>
    <message>
        <source>The file does not exist</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>The file cannot be opened</source>
        <translation>无法打开文件</translation>
    </message>
    <message>
        <source>The file is empty</source>
        <translation>文件内容为空</translation>
    </message>
    <message>
        <source>Failed to parse the JSON data</source>
        <translation>解析JSON数据失败</translation>
    </message>
    <message>
        <source>Try again later; a mirror of the update bucket must carry the signature (manifest.json.minisig) too.</source>
        <translation>请稍后重试；更新存储桶的镜像也必须提供签名文件（manifest.json.minisig）。</translation>
    </message>
</context>
<context>
    <name>ProcessErrorText</name>
    <message>
        <source>Process failed to start</source>
        <translation>进程启动失败</translation>
    </message>
    <message>
        <source>Process crashed</source>
        <translation>进程崩溃</translation>
    </message>
    <message>
        <source>Process timeout</source>
        <translation>进程超时</translation>
    </message>
    <message>
        <source>Read error</source>
        <translation>读取错误</translation>
    </message>
    <message>
        <source>Write error</source>
        <translation>写入错误</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>未知错误</translation>
    </message>
</context>
<context>
    <name>RecordFile</name>
    <message>
        <source>--record takes a .jsonl or a .csv file</source>
        <translation>--record 需要一个 .jsonl 或 .csv 文件</translation>
    </message>
    <message>
        <source>%1 cannot be opened for appending: %2</source>
        <translation>无法以追加方式打开 %1：%2</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>RequestPolicy</name>
    <message>
        <source>Network error: %1</source>
        <translation>网络错误: %1</translation>
    </message>
    <message>
        <source>Network error: %1 (through the proxy %2)</source>
        <translation>网络错误: %1（经由代理 %2）</translation>
    </message>
</context>
<context>
    <name>SignatureCheck</name>
    <message>
        <source>the update bucket has no signature for it (manifest.json.minisig)</source>
        <translation>更新存储桶中没有它的签名文件（manifest.json.minisig）</translation>
    </message>
    <message>
        <source>its signature file is larger than %1 KiB</source>
        <translation>其签名文件大于 %1 KiB</translation>
    </message>
    <message>
        <source>its signature file is not in minisign&apos;s format</source>
        <translation>其签名文件不是 minisign 格式</translation>
    </message>
    <message>
        <source>it is signed with the key %1, which this program does not trust</source>
        <translation>它由公钥 %1 签名，本程序不信任该公钥</translation>
    </message>
    <message>
        <source>its signature does not match it</source>
        <translation>其签名与内容不符</translation>
    </message>
    <message>
        <source>the trusted comment of its signature has been altered</source>
        <translation>其签名中的可信注释已被篡改</translation>
    </message>
    <message>
        <source>its signature names no sequence or no expiry</source>
        <translation>其签名未注明序号或有效期</translation>
    </message>
    <message>
        <source>it expired on %1</source>
        <translation>它已于 %1 过期</translation>
    </message>
    <message>
        <source>it is older than the update information already seen: sequence %1 after %2</source>
        <translation>它比已见过的更新信息更旧: 序号 %1，已见过 %2</translation>
    </message>
</context>
<context>
    <name>UpgradeCommand</name>
    <message>
        <source>Waiting for Ravlo devices in DFU mode; press Ctrl-C to stop.</source>
        <translation>正在等待处于 DFU 模式的 Ravlo 设备；按 Ctrl-C 停止。</translation>
    </message>
    <message>
        <source>%1 is not the image --sha256 names; nothing was written</source>
        <translation>%1 不是 --sha256 指定的镜像，未写入任何内容</translation>
    </message>
    <message>
        <source>Firmware image downloaded and verified (SHA-256 %1).</source>
        <translation>固件镜像已下载并通过校验（SHA-256 %1）。</translation>
    </message>
    <message>
        <source>No Ravlo device in DFU mode to upgrade</source>
        <translation>没有处于 DFU 模式、可供升级的 Ravlo 设备</translation>
    </message>
    <message>
        <source>The firmware image failed its SHA-256 check; nothing was written</source>
        <translation>固件镜像未通过 SHA-256 校验，未写入任何内容</translation>
    </message>
    <message>
        <source>dfu-util could not open the device (%1); nothing was written</source>
        <translation>dfu-util 无法打开该设备（%1），未写入任何内容</translation>
    </message>
    <message>
        <source>The result could not be added to the record: %1</source>
        <translation>无法把结果写入记录：%1</translation>
    </message>
    <message>
        <source>Offline: the firmware image kept on this computer (SHA-256 %1).</source>
        <translation>离线：使用这台计算机上保留的固件镜像（SHA-256 %1）。</translation>
    </message>
</context>
<context>
    <name>UpgradeEngine</name>
    <message>
        <source>Starting firmware upgrade process...</source>
        <translation>正在开始固件升级...</translation>
    </message>
    <message>
        <source>Starting upgrade...</source>
        <translation>正在开始升级...</translation>
    </message>
    <message>
        <source>Failed to meet upgrade preconditions</source>
        <translation>不满足升级的前提条件</translation>
    </message>
    <message>
        <source>Upgrade cancelled by user</source>
        <translation>用户已取消升级</translation>
    </message>
    <message>
        <source>Scanning device timeout</source>
        <translation>扫描设备超时</translation>
    </message>
    <message>
        <source>Device scanning error: %1</source>
        <translation>扫描设备出错: %1</translation>
    </message>
    <message>
        <source>The device did not connect successfully, please connect the device to the PC</source>
        <translation>设备未成功连接，请将设备连接到电脑</translation>
    </message>
    <message>
        <source>The device did not connect successfully, please connect the device</source>
        <translation>设备未成功连接，请连接设备</translation>
    </message>
    <message>
        <source>No Ravlo device detected</source>
        <translation>未检测到 Ravlo 设备</translation>
    </message>
    <message>
        <source>No Ravlo device with serial %1 detected</source>
        <translation>未检测到序列号为 %1 的 Ravlo 设备</translation>
    </message>
    <message>
        <source>Loading update information...</source>
        <translation>正在加载更新信息...</translation>
    </message>
    <message>
        <source>it names no SHA-256 digest for the firmware image</source>
        <translation>其中没有固件镜像的 SHA-256 摘要</translation>
    </message>
    <message>
        <source>The update information could not be loaded (%1), so nothing was written</source>
        <translation>无法加载更新信息（%1），未写入任何内容</translation>
    </message>
    <message>
        <source>Failed to create firmware file: the temporary folder does not exist</source>
        <translation>无法创建固件文件: 临时文件夹不存在</translation>
    </message>
    <message>
        <source>Start downloading firmware</source>
        <translation>开始下载固件</translation>
    </message>
    <message>
        <source>Download firmware: Unknown size</source>
        <translation>下载固件: 大小未知</translation>
    </message>
    <message>
        <source>Network error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <source>Verifying firmware integrity...</source>
        <translation>正在校验固件完整性...</translation>
    </message>
    <message>
        <source>Firmware verification failed, please click upgrade again</source>
        <translation>固件校验失败，请重新点击“升级”</translation>
    </message>
    <message>
        <source>The firmware image is larger than the device&apos;s flash memory</source>
        <translation>固件镜像大于设备的闪存</translation>
    </message>
    <message>
        <source>Firmware download completed, start burning</source>
        <translation>固件下载完成，开始烧录</translation>
    </message>
    <message>
        <source>Burning firmware ..</source>
        <translation>正在烧录固件...</translation>
    </message>
    <message>
        <source>Firmware upgrade completed!</source>
        <translation>固件升级完成！</translation>
    </message>
    <message>
        <source>Upgrade completed successfully</source>
        <translation>升级成功完成</translation>
    </message>
    <message>
        <source>Unable to start dfu uti process</source>
        <translation>无法启动 dfu-util 进程</translation>
    </message>
    <message>
        <source>dfu-util process error: %1 - %2</source>
        <translation>dfu-util 进程错误: %1 - %2</translation>
    </message>
    <message>
        <source>dfu-util failed with exit code %1</source>
        <translation>dfu-util 执行失败，退出码 %1</translation>
    </message>
    <message>
        <source>No device was chosen for the firmware</source>
        <translation>没有为固件选定设备</translation>
    </message>
    <message>
        <source>Writing firmware to a Ravlo device</source>
        <translation>正在向 Ravlo 设备写入固件</translation>
    </message>
    <message>
        <source>The update information could not be verified (%1), so nothing was written. %2</source>
        <translation>无法验证更新信息（%1），未写入任何内容。%2</translation>
    </message>
    <message>
        <source>Failed to create the file the firmware is read back into, so nothing was written</source>
        <translation>无法创建用于读回固件的文件，因此未写入任何内容</translation>
    </message>
    <message>
        <source>Firmware written, but not verified</source>
        <translation>固件已写入，但未经校验</translation>
    </message>
    <message>
        <source>The device did not confirm that it left DFU mode; switch it off and on to start the new firmware</source>
        <translation>设备没有确认已退出 DFU 模式；请关闭设备电源后重新打开以启动新固件</translation>
    </message>
    <message>
        <source>Verifying written firmware...</source>
        <translation>正在校验已写入的固件...</translation>
    </message>
    <message>
        <source>The firmware read back from the device could not be opened</source>
        <translation>无法打开从设备读回的固件</translation>
    </message>
    <message>
        <source>The firmware read back from the device differs from the image</source>
        <translation>从设备读回的固件与固件镜像不同</translation>
    </message>
    <message>
        <source>%1 Ravlo devices are connected.</source>
        <translation>已连接 %1 台 Ravlo 设备。</translation>
    </message>
    <message>
        <source>Using the firmware image downloaded before, unchanged since (SHA-256 %1): nothing to download</source>
        <translation>使用之前下载且此后未变的固件镜像（SHA-256 %1）：无需下载</translation>
    </message>
</context>
</TS>
