<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AlignmentWidget</name>
    <message>
        <source>Sensor features</source>
        <translation>传感器功能</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>传感器</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>类型:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>端口:</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>配置文件:</translation>
    </message>
    <message>
        <source>Monitor</source>
        <translation>显示器</translation>
    </message>
    <message>
        <source>Calibrate matrix:</source>
        <translation>校准矩阵:</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>配置文件</translation>
    </message>
    <message>
        <source>Parse Error!</source>
        <translation>解析错误!</translation>
    </message>
    <message>
        <source>Sensor SN Error!</source>
        <translation>传感器序列号错误!</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Alignment is on.</source>
        <translation>对齐正在进行。</translation>
    </message>
    <message>
        <source>Alignment is stopping. Try again when it has stopped.</source>
        <translation>对齐正在停止。请在停止后再试。</translation>
    </message>
    <message>
        <source>%1 is the monitor&apos;s port. The sensor needs a port of its own.</source>
        <translation>%1 是显示器的端口。传感器需要使用自己的端口。</translation>
    </message>
    <message>
        <source>%1 is the sensor&apos;s port. The monitor needs a port of its own.</source>
        <translation>%1 是传感器的端口。显示器需要使用自己的端口。</translation>
    </message>
    <message>
        <source>Connect Monitor Error!</source>
        <translation>连接显示器出错!</translation>
    </message>
</context>
<context>
    <name>AstmE1455Method</name>
    <message>
        <source>the sensor&apos;s readings of red, green and blue are linearly dependent</source>
        <translation>传感器对红、绿、蓝的读数线性相关</translation>
    </message>
    <message>
        <source>the reference&apos;s readings of red, green and blue are linearly dependent</source>
        <translation>参考仪器对红、绿、蓝的读数线性相关</translation>
    </message>
</context>
<context>
    <name>CA410Sensor</name>
    <message>
        <source>ca410DeviceOpen 0 err %1, check device plugin!</source>
        <translation>ca410DeviceOpen 0 出错 %1,请检查设备连接!</translation>
    </message>
    <message>
        <source>ca410DeviceInit err %1</source>
        <translation>ca410DeviceInit 出错 %1</translation>
    </message>
    <message>
        <source>ca410GetDeviceInfo err %1</source>
        <translation>ca410GetDeviceInfo 出错 %1</translation>
    </message>
</context>
<context>
    <name>CRXXXCensor</name>
    <message>
        <source>Can&apos;t open %1!</source>
        <translation>无法打开 %1!</translation>
    </message>
    <message>
        <source>CRXXX Hardware Information Read Error</source>
        <translation>CRXXX 硬件信息读取错误</translation>
    </message>
</context>
<context>
    <name>CSensor</name>
    <message>
        <source>Unknow sensor</source>
        <translation>未知传感器</translation>
    </message>
</context>
<context>
    <name>CalibrateDialog</name>
    <message>
        <source>Sensor value:</source>
        <translation>传感器值:</translation>
    </message>
    <message>
        <source>Reference value:</source>
        <translation>参考值:</translation>
    </message>
    <message>
        <source>Color:</source>
        <translation>颜色:</translation>
    </message>
    <message>
        <source>Red</source>
        <translation>红</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>绿</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>蓝</translation>
    </message>
    <message>
        <source>White</source>
        <translation>白</translation>
    </message>
    <message>
        <source>Calibrate matrix:</source>
        <translation>校准矩阵:</translation>
    </message>
    <message>
        <source>Measure</source>
        <translation>测量</translation>
    </message>
    <message>
        <source>Calibrate</source>
        <translation>校准</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Invalid value at %1 row %2col!</source>
        <translation>第 %1 行第 %2 列的值无效!</translation>
    </message>
    <message>
        <source>Invalid value at 4 row %1col!</source>
        <translation>第 4 行第 %1 列的值无效!</translation>
    </message>
    <message>
        <source>Abnormal matrix!</source>
        <translation>矩阵异常!</translation>
    </message>
    <message>
        <source>The matrix does not bring %1 onto its reference value; check the sensor and reference values.</source>
        <translation>矩阵不能使%1与其参考值相符,请检查传感器值和参考值。</translation>
    </message>
</context>
<context>
    <name>Certificate</name>
    <message>
        <source>The reference&apos;s reading of &quot;white&quot; is missing or not positive.</source>
        <translation>参考仪器对 &quot;white&quot; 的读数缺失或不为正。</translation>
    </message>
</context>
<context>
    <name>CertificateFiles</name>
    <message>
        <source>only %1 of %2 bytes could be written (is the disk full?)</source>
        <translation>%2 字节中只写入了 %1 字节（磁盘是否已满？）</translation>
    </message>
    <message>
        <source>Cannot make the directory %1.</source>
        <translation>无法创建目录 %1。</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>CertificatePdf</name>
    <message>
        <source>%1, serial number %2</source>
        <translation>%1，序列号 %2</translation>
    </message>
    <message>
        <source>Sensor matching certificate</source>
        <translation>传感器匹配证书</translation>
    </message>
    <message>
        <source>Sensor: %1</source>
        <translation>传感器：%1</translation>
    </message>
    <message>
        <source>Reference: %1</source>
        <translation>参考仪器：%1</translation>
    </message>
    <message>
        <source>Date: %1</source>
        <translation>日期：%1</translation>
    </message>
    <message>
        <source>Tolerance: largest %1 on validation patches %2</source>
        <translation>容差：验证色块的最大 %1 为 %2</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>未通过</translation>
    </message>
    <message>
        <source>No method could be judged on validation patches.</source>
        <translation>没有任何方法能在验证色块上进行评判。</translation>
    </message>
    <message>
        <source>Recommended method:
%1</source>
        <translation>推荐方法：
%1</translation>
    </message>
    <message>
        <source>Method</source>
        <translation>方法</translation>
    </message>
    <message>
        <source>Validation
mean %1</source>
        <translation>验证
平均 %1</translation>
    </message>
    <message>
        <source>Validation
max %1</source>
        <translation>验证
最大 %1</translation>
    </message>
    <message>
        <source>Training
max %1</source>
        <translation>训练
最大 %1</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>refused: %1</source>
        <translation>已拒绝：%1</translation>
    </message>
    <message>
        <source>pass</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>fail</source>
        <translation>未通过</translation>
    </message>
    <message>
        <source>The recommended method is marked: the smallest largest validation %1.</source>
        <translation>已标出推荐方法：其验证 %1 最大值最小。</translation>
    </message>
    <message>
        <source>Patch</source>
        <translation>色块</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>用途</translation>
    </message>
    <message>
        <source>Ref. x</source>
        <translation>参考 x</translation>
    </message>
    <message>
        <source>Ref. y</source>
        <translation>参考 y</translation>
    </message>
    <message>
        <source>Ref. Y
cd/m²</source>
        <translation>参考 Y
cd/m²</translation>
    </message>
    <message>
        <source>Corr. x</source>
        <translation>校正 x</translation>
    </message>
    <message>
        <source>Corr. y</source>
        <translation>校正 y</translation>
    </message>
    <message>
        <source>ΔY %</source>
        <translation>ΔY %</translation>
    </message>
    <message>
        <source>No method recommended, so no patches to show.</source>
        <translation>没有推荐方法，因此没有可显示的色块。</translation>
    </message>
    <message>
        <source>training</source>
        <translation>训练</translation>
    </message>
    <message>
        <source>validation</source>
        <translation>验证</translation>
    </message>
    <message>
        <source>1 validation patch with a smaller %1 left out here; certificate.csv has every patch.</source>
        <translation>此处略去 1 个 %1 较小的验证色块；certificate.csv 包含所有色块。</translation>
    </message>
    <message>
        <source>%1 validation patches with smaller %2 left out here; certificate.csv has every patch.</source>
        <translation>此处略去 %1 个 %2 较小的验证色块；certificate.csv 包含所有色块。</translation>
    </message>
    <message>
        <source>Correction methods</source>
        <translation>校正方法</translation>
    </message>
    <message>
        <source>no</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Chromaticity, CIE 1931 x, y: %1 correction</source>
        <translation>色度，CIE 1931 x, y：%1 校正</translation>
    </message>
    <message>
        <source>Patches: %1 correction</source>
        <translation>色块：%1 校正</translation>
    </message>
    <message>
        <source>the PDF can only be drawn by a program started with its graphical side</source>
        <translation>只有以图形界面启动的程序才能绘制 PDF</translation>
    </message>
    <message>
        <source>the PDF could not be started</source>
        <translation>无法开始生成 PDF</translation>
    </message>
    <message>
        <source>the PDF could not be finished</source>
        <translation>无法完成 PDF</translation>
    </message>
    <message>
        <source>the PDF came out empty</source>
        <translation>生成的 PDF 为空</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>ChromaticityDiagram</name>
    <message>
        <source>Target</source>
        <translation>目标</translation>
    </message>
    <message>
        <source>Target white D65</source>
        <translation>目标白点 D65</translation>
    </message>
    <message>
        <source>Target white x %1, y %2</source>
        <translation>目标白点 x %1, y %2</translation>
    </message>
    <message>
        <source>Tolerance Δu′v′ %1</source>
        <translation>容差 Δu′v′ %1</translation>
    </message>
    <message>
        <source>Tolerance Δxy ±%1</source>
        <translation>容差 Δxy ±%1</translation>
    </message>
    <message>
        <source>Errors drawn %1 times longer</source>
        <translation>误差按 %1 倍长度绘制</translation>
    </message>
    <message>
        <source>Planckian locus</source>
        <translation>普朗克轨迹</translation>
    </message>
    <message>
        <source>Daylight locus</source>
        <translation>日光轨迹</translation>
    </message>
    <message>
        <source>BT.709 / sRGB</source>
        <translation>BT.709 / sRGB</translation>
    </message>
</context>
<context>
    <name>ChromaticityDock</name>
    <message>
        <source>Chromaticity</source>
        <translation>色度图</translation>
    </message>
    <message>
        <source>Readings during alignment</source>
        <translation>校准期间的读数</translation>
    </message>
    <message>
        <source>Readings</source>
        <translation>读数</translation>
    </message>
</context>
<context>
    <name>ChromaticityPlot</name>
    <message>
        <source>Corrected points drawn where they lie.</source>
        <translation>校正后的点按实际位置绘制。</translation>
    </message>
    <message>
        <source>Corrected points drawn %1 times farther from their reference than they lie.</source>
        <translation>校正后的点与其参考点的距离按实际的 %1 倍绘制。</translation>
    </message>
    <message>
        <source>Reference</source>
        <translation>参考仪器</translation>
    </message>
    <message>
        <source>Corrected sensor</source>
        <translation>校正后的传感器</translation>
    </message>
    <message>
        <source>Offset of Δxy %1 as drawn</source>
        <translation>图中 Δxy %1 的偏移</translation>
    </message>
</context>
<context>
    <name>ChromaticityView</name>
    <message>
        <source>CIE 1931 xy</source>
        <translation>CIE 1931 xy</translation>
    </message>
    <message>
        <source>CIE 1976 u′v′</source>
        <translation>CIE 1976 u′v′</translation>
    </message>
    <message>
        <source>BT.709 / sRGB gamut</source>
        <translation>BT.709 / sRGB 色域</translation>
    </message>
    <message>
        <source>DCI-P3 gamut</source>
        <translation>DCI-P3 色域</translation>
    </message>
    <message>
        <source>BT.2020 gamut</source>
        <translation>BT.2020 色域</translation>
    </message>
    <message>
        <source>Planckian locus</source>
        <translation>普朗克轨迹</translation>
    </message>
    <message>
        <source>Daylight locus</source>
        <translation>日光轨迹</translation>
    </message>
    <message>
        <source>Legend</source>
        <translation>图例</translation>
    </message>
    <message>
        <source>Fit (double click)</source>
        <translation>适合窗口（双击）</translation>
    </message>
</context>
<context>
    <name>ColorDockWidget</name>
    <message>
        <source>Value window</source>
        <translation>数值窗口</translation>
    </message>
</context>
<context>
    <name>CommandPatchSource</name>
    <message>
        <source>The pattern command %1 has an unclosed quote.</source>
        <translation>图案命令 %1 中有未闭合的引号。</translation>
    </message>
    <message>
        <source>The pattern command names no program to run.</source>
        <translation>图案命令没有指定要运行的程序。</translation>
    </message>
    <message>
        <source>The patch %1 was not shown: the run was cancelled.</source>
        <translation>色块 %1 未显示：运行已取消。</translation>
    </message>
    <message>
        <source>The pattern command %1 could not be started: %2.</source>
        <translation>无法启动图案命令 %1：%2。</translation>
    </message>
    <message>
        <source>The pattern command %1 did not finish within %2 s and was stopped.</source>
        <translation>图案命令 %1 未在 %2 秒内结束，已被停止。</translation>
    </message>
    <message>
        <source>The pattern command %1 crashed.</source>
        <translation>图案命令 %1 崩溃。</translation>
    </message>
    <message>
        <source>The pattern command %1 crashed: %2</source>
        <translation>图案命令 %1 崩溃：%2</translation>
    </message>
    <message>
        <source>The pattern command %1 exited with code %2.</source>
        <translation>图案命令 %1 退出，退出码 %2。</translation>
    </message>
    <message>
        <source>The pattern command %1 exited with code %2: %3</source>
        <translation>图案命令 %1 退出，退出码 %2：%3</translation>
    </message>
</context>
<context>
    <name>CorrectionMethod</name>
    <message>
        <source>training colours missing: %1</source>
        <translation>缺少训练颜色：%1</translation>
    </message>
    <message>
        <source>the reference&apos;s reading of &quot;%1&quot; is not a finite number</source>
        <translation>参考仪器对 &quot;%1&quot; 的读数不是有限数</translation>
    </message>
    <message>
        <source>the sensor&apos;s reading of &quot;%1&quot; is not a finite number</source>
        <translation>传感器对 &quot;%1&quot; 的读数不是有限数</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>the matrix is not finite</source>
        <translation>矩阵不是有限值</translation>
    </message>
</context>
<context>
    <name>FcmmMethod</name>
    <message>
        <source>the sensor&apos;s chromaticities of red, green, blue and white admit no matrix</source>
        <translation>传感器测得的红、绿、蓝、白色度无法求出矩阵</translation>
    </message>
    <message>
        <source>the reference&apos;s chromaticities of red, green, blue and white admit no matrix</source>
        <translation>参考仪器测得的红、绿、蓝、白色度无法求出矩阵</translation>
    </message>
    <message>
        <source>the white&apos;s luminance cannot be matched</source>
        <translation>无法匹配白色的亮度</translation>
    </message>
</context>
<context>
    <name>FourColourMethod</name>
    <message>
        <source>the reading of &quot;white&quot; is the failed-reading marker</source>
        <translation>&quot;white&quot; 的读数是读数失败标记</translation>
    </message>
    <message>
        <source>the sensor&apos;s readings of red, green and blue are linearly dependent</source>
        <translation>传感器对红、绿、蓝的读数线性相关</translation>
    </message>
    <message>
        <source>the reference&apos;s readings of red, green and blue are linearly dependent</source>
        <translation>参考仪器对红、绿、蓝的读数线性相关</translation>
    </message>
    <message>
        <source>the white lies in the plane of two primaries</source>
        <translation>白色位于两个原色所在的平面内</translation>
    </message>
    <message>
        <source>the matrix is not finite</source>
        <translation>矩阵不是有限值</translation>
    </message>
</context>
<context>
    <name>I1d3Sensor</name>
    <message>
        <source>Can not open %1</source>
        <translation>无法打开 %1</translation>
    </message>
    <message>
        <source>Error resolve %1</source>
        <translation>无法解析 %1</translation>
    </message>
    <message>
        <source>I1d3DeviceOpen 0 err %1,check device plugin!</source>
        <translation>I1d3DeviceOpen 0 出错 %1,请检查设备连接!</translation>
    </message>
    <message>
        <source>I1d3DeviceInit err, %1</source>
        <translation>I1d3DeviceInit 出错, %1</translation>
    </message>
    <message>
        <source>I1d3GetDeviceInfo  err, %1</source>
        <translation>I1d3GetDeviceInfo 出错, %1</translation>
    </message>
    <message>
        <source>i1d3GetUsrdataEnableState err, %1</source>
        <translation>i1d3GetUsrdataEnableState 出错, %1</translation>
    </message>
    <message>
        <source>I1d3GetDeviceStatus  err, %1</source>
        <translation>I1d3GetDeviceStatus 出错, %1</translation>
    </message>
    <message>
        <source>I1d3SetLEDControl  err,%1</source>
        <translation>I1d3SetLEDControl 出错, %1</translation>
    </message>
    <message>
        <source>measrueXYZ err, %1</source>
        <translation>测量 XYZ 出错, %1</translation>
    </message>
    <message>
        <source>measXYZ err, %1</source>
        <translation>测量 XYZ 出错, %1</translation>
    </message>
    <message>
        <source>add callist[%1]=[%2]</source>
        <translation>加入校准列表[%1]=[%2]</translation>
    </message>
    <message>
        <source>mac_GetCalList: get %1</source>
        <translation>mac_GetCalList: 得到 %1 项</translation>
    </message>
    <message>
        <source>i1d3GetCalfile get %1 %2</source>
        <translation>i1d3GetCalfile 读取 %1 %2</translation>
    </message>
    <message>
        <source>mac_SaveCalfile: start id=%1 name=%2</source>
        <translation>mac_SaveCalfile: 开始 编号=%1 名称=%2</translation>
    </message>
</context>
<context>
    <name>InstrumentWaitBar</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Waiting for the instrument: %1</source>
        <translation>正在等待仪器:%1</translation>
    </message>
    <message>
        <source>Cancelled. Waiting for the instrument to return: %1</source>
        <translation>已取消。正在等待仪器返回:%1</translation>
    </message>
</context>
<context>
    <name>K10Sensor</name>
    <message>
        <source>K10DeviceOpen 0 err %1, check device plugin!</source>
        <translation>K10DeviceOpen 0 出错 %1,请检查设备连接!</translation>
    </message>
    <message>
        <source>K10DeviceInit err %1</source>
        <translation>K10DeviceInit 出错 %1</translation>
    </message>
    <message>
        <source>K10DeviceInfo err %1</source>
        <translation>K10DeviceInfo 出错 %1</translation>
    </message>
    <message>
        <source>k10GetCalibrationMarix get %1 %2</source>
        <translation>k10GetCalibrationMarix 读取 %1 %2</translation>
    </message>
    <message>
        <source>mac_SaveCalfile: start id=%1 name=%2</source>
        <translation>mac_SaveCalfile: 开始 编号=%1 名称=%2</translation>
    </message>
</context>
<context>
    <name>LeastSquaresMethod</name>
    <message>
        <source>fewer than three training patches</source>
        <translation>训练色块少于三个</translation>
    </message>
    <message>
        <source>the reference&apos;s reading of &quot;%1&quot; is not a finite number</source>
        <translation>参考仪器对 &quot;%1&quot; 的读数不是有限数</translation>
    </message>
    <message>
        <source>the sensor&apos;s reading of &quot;%1&quot; is not a finite number</source>
        <translation>传感器对 &quot;%1&quot; 的读数不是有限数</translation>
    </message>
    <message>
        <source>the reference&apos;s luminance of &quot;%1&quot; is not positive</source>
        <translation>参考仪器测得的 &quot;%1&quot; 亮度不为正</translation>
    </message>
    <message>
        <source>fewer than three independent training patches</source>
        <translation>线性无关的训练色块少于三个</translation>
    </message>
</context>
<context>
    <name>LibrarySensor</name>
    <message>
        <source>Can not open %1</source>
        <translation>无法打开 %1</translation>
    </message>
    <message>
        <source>Error resolve %1</source>
        <translation>无法解析 %1</translation>
    </message>
    <message>
        <source>measureXYZ err, %1</source>
        <translation>测量 XYZ 出错, %1</translation>
    </message>
    <message>
        <source>measXYZ err, %1</source>
        <translation>测量 XYZ 出错, %1</translation>
    </message>
    <message>
        <source>add callist[%1]=[%2]</source>
        <translation>加入校准列表[%1]=[%2]</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Huelink Trimline</source>
        <translation>Huelink Trimline 显示器对齐</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>打开(&amp;O)</translation>
    </message>
    <message>
        <source>Ctrl+O</source>
        <translation>Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>保存(&amp;S)</translation>
    </message>
    <message>
        <source>Ctrl+S</source>
        <translation>Ctrl+S</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>另存为</translation>
    </message>
    <message>
        <source>Ctrl+D</source>
        <translation>Ctrl+D</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>Ctrl+X</source>
        <translation>Ctrl+X</translation>
    </message>
    <message>
        <source>&amp;Measure</source>
        <translation>测量(&amp;M)</translation>
    </message>
    <message>
        <source>S&amp;ingle measure</source>
        <translation>单次测量(&amp;I)</translation>
    </message>
    <message>
        <source>Ctrl+I</source>
        <translation>Ctrl+I</translation>
    </message>
    <message>
        <source>A&amp;lignment</source>
        <translation>对齐(&amp;L)</translation>
    </message>
    <message>
        <source>Ctrl+L</source>
        <translation>Ctrl+L</translation>
    </message>
    <message>
        <source>P&amp;ortscan</source>
        <translation>端口扫描(&amp;O)</translation>
    </message>
    <message>
        <source>Ctrl+P</source>
        <translation>Ctrl+P</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;File Tool bar</source>
        <translation>文件工具栏(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Measure Tool bar</source>
        <translation>测量工具栏(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Status bar</source>
        <translation>状态栏(&amp;S)</translation>
    </message>
    <message>
        <source>A&amp;dvance</source>
        <translation>高级(&amp;D)</translation>
    </message>
    <message>
        <source>Calib&amp;rate</source>
        <translation>校准(&amp;R)</translation>
    </message>
    <message>
        <source>Ctrl+R</source>
        <translation>Ctrl+R</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>关于(&amp;A)</translation>
    </message>
    <message>
        <source>Ctrl+A</source>
        <translation>Ctrl+A</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Measure</source>
        <translation>测量</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Ready.</source>
        <translation>就绪。</translation>
    </message>
    <message>
        <source>Lumaserve %1</source>
        <translation>Lumaserve %1</translation>
    </message>
    <message>
        <source>Qt %1 (built with %2)</source>
        <translation>Qt %1(编译时版本 %2)</translation>
    </message>
    <message>
        <source>Instrument libraries:</source>
        <translation>仪器库:</translation>
    </message>
    <message>
        <source>%1: not found</source>
        <translation>%1:未找到</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1:%2</translation>
    </message>
    <message>
        <source>Settings: %1</source>
        <translation>设置:%1</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Alignment is on.</source>
        <translation>对齐正在进行。</translation>
    </message>
    <message>
        <source>Open Profile</source>
        <translation>打开配置文件</translation>
    </message>
    <message>
        <source>No Sensor connected, Connect Sensor first,</source>
        <translation>传感器未连接,请先连接传感器。</translation>
    </message>
    <message>
        <source>Open profile</source>
        <translation>打开配置文件</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Connect Sensor first!</source>
        <translation>请先连接传感器!</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>输入</translation>
    </message>
    <message>
        <source>ProfileName:</source>
        <translation>配置文件名:</translation>
    </message>
    <message>
        <source>Save profile</source>
        <translation>保存配置文件</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 已存在。
要替换它吗?</translation>
    </message>
    <message>
        <source>The profile %1 could not be saved: %2</source>
        <translation>无法保存配置文件 %1:%2</translation>
    </message>
    <message>
        <source>Alignment is stopping: the instrument has not answered yet.</source>
        <translation>对齐正在停止:仪器尚未应答。</translation>
    </message>
    <message>
        <source>Do you want to stop alignment now?</source>
        <translation>现在要停止对齐吗?</translation>
    </message>
    <message>
        <source>Stop&amp;l</source>
        <translation>停止(&amp;L)</translation>
    </message>
    <message>
        <source>Alignment...</source>
        <translation>对齐中...</translation>
    </message>
    <message>
        <source>Stopping alignment: waiting for the instrument...</source>
        <translation>正在停止对齐:等待仪器...</translation>
    </message>
    <message>
        <source>Alignment is stopping. Try again when it has stopped.</source>
        <translation>对齐正在停止。请在停止后再试。</translation>
    </message>
    <message>
        <source>Stopping alignment: the window will close when it has stopped...</source>
        <translation>正在停止对齐:停止后窗口将关闭...</translation>
    </message>
    <message>
        <source>Display unplugged: waiting for it to come back...</source>
        <translation>显示器已断开:等待其重新连接...</translation>
    </message>
    <message>
        <source>Monitor</source>
        <translation>显示器</translation>
    </message>
    <message>
        <source>The display on %1 is gone. Alignment waits for it to come back on the same port; switch alignment off to stop waiting.</source>
        <translation>%1 上的显示器已断开。对齐将等待它在同一端口重新连接;关闭对齐即可停止等待。</translation>
    </message>
    <message>
        <source>Sensor not connected!</source>
        <translation>传感器未连接!</translation>
    </message>
    <message>
        <source>Stopping: the window will close when the instrument has answered...</source>
        <translation>正在停止:仪器应答后窗口将关闭...</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Waiting for the instrument: %1.
Do you want to stop waiting and close the window?</source>
        <translation>正在等待仪器:%1。
是否停止等待并关闭窗口?</translation>
    </message>
    <message>
        <source>Sensor matching</source>
        <translation>传感器匹配</translation>
    </message>
    <message>
        <source>Records</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>Scan the display&apos;s barcode</source>
        <translation>扫描显示器的条码</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>产品编号</translation>
    </message>
    <message>
        <source>%1 goes to the next display.</source>
        <translation>%1 将记入下一台显示器。</translation>
    </message>
    <message>
        <source>Unit %1 taken.</source>
        <translation>产品编号 %1 已记入。</translation>
    </message>
    <message>
        <source>Records: %1</source>
        <translation>记录: %1</translation>
    </message>
</context>
<context>
    <name>MatchingInstrument</name>
    <message>
        <source>The %1 keeps no matrices in its memory.</source>
        <translation>%1 的存储中不保存矩阵。</translation>
    </message>
</context>
<context>
    <name>MatchingRun</name>
    <message>
        <source>sensor</source>
        <translation>传感器</translation>
    </message>
    <message>
        <source>sensor (%1)</source>
        <translation>传感器（%1）</translation>
    </message>
    <message>
        <source>reference instrument</source>
        <translation>参考仪器</translation>
    </message>
    <message>
        <source>reference instrument (%1)</source>
        <translation>参考仪器（%1）</translation>
    </message>
    <message>
        <source>Opening the %1…</source>
        <translation>正在打开%1…</translation>
    </message>
    <message>
        <source>The run was cancelled.</source>
        <translation>运行已取消。</translation>
    </message>
    <message>
        <source>The %1 did not open within %2 minutes.</source>
        <translation>%1未能在 %2 分钟内打开。</translation>
    </message>
    <message>
        <source>The %1 could not be opened: %2</source>
        <translation>无法打开%1：%2</translation>
    </message>
    <message>
        <source>%1, serial number %2</source>
        <translation>%1，序列号 %2</translation>
    </message>
    <message>
        <source>%1 on %2</source>
        <translation>%1，位于 %2</translation>
    </message>
    <message>
        <source>Reading &quot;%1&quot;</source>
        <translation>正在读取 &quot;%1&quot;</translation>
    </message>
    <message>
        <source>the %1 gave %2 of %3</source>
        <translation>%1只给出了 %3 次中的 %2 次</translation>
    </message>
    <message>
        <source>Too few readings of &quot;%1&quot; count after %2 tries: %3. Is the patch too dark, or the instrument not steady on the screen?</source>
        <translation>尝试 %2 次后，&quot;%1&quot; 的有效读数太少：%3。是色块太暗，还是仪器在屏幕上不稳？</translation>
    </message>
    <message>
        <source>No reading came.</source>
        <translation>没有收到读数。</translation>
    </message>
    <message>
        <source>The %1 gave no reading of &quot;%2&quot; within %3 minutes.</source>
        <translation>%1未能在 %3 分钟内给出 &quot;%2&quot; 的读数。</translation>
    </message>
    <message>
        <source> and the </source>
        <translation>和</translation>
    </message>
    <message>
        <source>%1 readings in a row failed.</source>
        <translation>连续 %1 次读数失败。</translation>
    </message>
    <message>
        <source>The %1 failed %2 readings of &quot;%3&quot; in a row.</source>
        <translation>%1连续 %2 次读取 &quot;%3&quot; 失败。</translation>
    </message>
    <message>
        <source>Read &quot;%1&quot;</source>
        <translation>已读取 &quot;%1&quot;</translation>
    </message>
    <message>
        <source>The session could not be written: %1</source>
        <translation>无法写入会话：%1</translation>
    </message>
    <message>
        <source>No method is recommended, so nothing was written to the sensor&apos;s memory.</source>
        <translation>没有推荐方法，因此未向传感器的存储写入任何内容。</translation>
    </message>
    <message>
        <source>Writing the matrix to memory %1</source>
        <translation>正在将矩阵写入存储位置 %1</translation>
    </message>
    <message>
        <source>The %1 did not finish writing the matrix to memory %2; what the memory holds now is unknown.</source>
        <translation>%1未完成将矩阵写入存储位置 %2；该位置现在保存的内容未知。</translation>
    </message>
    <message>
        <source>The %1 matrix was written to the sensor&apos;s memory %2 as &quot;%3&quot;, read back and found the same.</source>
        <translation>%1 矩阵已以 &quot;%3&quot; 为名写入传感器的存储位置 %2，读回后核对一致。</translation>
    </message>
    <message>
        <source>The matrix was not stored in the sensor&apos;s memory: %1</source>
        <translation>矩阵未存入传感器的存储：%1</translation>
    </message>
    <message>
        <source>Closed</source>
        <translation>已关闭</translation>
    </message>
    <message>
        <source>The patch &quot;%1&quot; could not be shown: %2</source>
        <translation>无法显示色块 &quot;%1&quot;：%2</translation>
    </message>
    <message>
        <source>The run was cancelled before the matrix was written.</source>
        <translation>运行在写入矩阵之前已取消。</translation>
    </message>
    <message>
        <source>There are no patches to read.</source>
        <translation>没有要读取的色块。</translation>
    </message>
    <message>
        <source>%1 patches are more than the %2 a run reads.</source>
        <translation>%1 个色块超过了一次运行可读取的 %2 个。</translation>
    </message>
    <message>
        <source>The patch name &quot;%1&quot; is empty or has spaces around it.</source>
        <translation>色块名称 &quot;%1&quot; 为空或前后有空格。</translation>
    </message>
    <message>
        <source>The patch &quot;%1&quot; has a level outside 0-255.</source>
        <translation>色块 &quot;%1&quot; 的电平超出 0-255。</translation>
    </message>
    <message>
        <source>Only red, green, blue and white train; &quot;%1&quot; cannot.</source>
        <translation>只有红、绿、蓝、白可用于训练；&quot;%1&quot; 不能。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a training colour and must train.</source>
        <translation>&quot;%1&quot; 是训练颜色，必须用于训练。</translation>
    </message>
    <message>
        <source>The patch &quot;%1&quot; is given twice.</source>
        <translation>色块 &quot;%1&quot; 出现了两次。</translation>
    </message>
    <message>
        <source>The patches lack the training colours %1, which every correction is fitted on.</source>
        <translation>色块中缺少训练颜色 %1，每种校正都要依据它们拟合。</translation>
    </message>
    <message>
        <source>Each patch is read 1 to %1 times; %2 was asked.</source>
        <translation>每个色块读取 1 到 %1 次；所要求的是 %2。</translation>
    </message>
    <message>
        <source>A patch may be read %1 to %2 times in all, retakes included; %3 was asked.</source>
        <translation>每个色块总共可读取 %1 到 %2 次（含重测）；所要求的是 %3。</translation>
    </message>
    <message>
        <source>The luminance floor must be a number of 0 cd/m² or more.</source>
        <translation>亮度下限必须是不小于 0 cd/m² 的数。</translation>
    </message>
    <message>
        <source>The tolerance must be a number above 0.</source>
        <translation>容差必须是大于 0 的数。</translation>
    </message>
    <message>
        <source>The memory index must be 0 or more.</source>
        <translation>存储编号必须不小于 0。</translation>
    </message>
</context>
<context>
    <name>Measure</name>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>This sensor is not supported now!</source>
        <translation>目前不支持此传感器!</translation>
    </message>
    <message>
        <source>Single measure</source>
        <translation>单次测量</translation>
    </message>
    <message>
        <source>Sensor not connected!</source>
        <translation>传感器未连接!</translation>
    </message>
    <message>
        <source>Alignment is on.</source>
        <translation>对齐正在进行。</translation>
    </message>
    <message>
        <source>Alignment is stopping. Try again when it has stopped.</source>
        <translation>对齐正在停止。请在停止后再试。</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>错误!</translation>
    </message>
    <message>
        <source>The sensor is busy with a reading.</source>
        <translation>传感器正在测量。</translation>
    </message>
    <message>
        <source>Connect Sensor and Monitor First!</source>
        <translation>请先连接传感器和显示器!</translation>
    </message>
    <message>
        <source>Waiting for the instrument: %1. Try again when it has answered, or cancel.</source>
        <translation>正在等待仪器:%1。请在仪器应答后再试,或取消。</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>传感器</translation>
    </message>
    <message>
        <source>Monitor</source>
        <translation>显示器</translation>
    </message>
    <message>
        <source>Connecting the sensor</source>
        <translation>正在连接传感器</translation>
    </message>
    <message>
        <source>Connecting the monitor</source>
        <translation>正在连接显示器</translation>
    </message>
    <message>
        <source>Measuring</source>
        <translation>正在测量</translation>
    </message>
    <message>
        <source>Releasing the instruments</source>
        <translation>正在释放仪器</translation>
    </message>
</context>
<context>
    <name>PR6xxSensor</name>
    <message>
        <source>Get SN failed.</source>
        <translation>读取序列号失败。</translation>
    </message>
</context>
<context>
    <name>PlainFile</name>
    <message>
        <source>a directory</source>
        <translation>一个目录</translation>
    </message>
    <message>
        <source>a character device</source>
        <translation>一个字符设备</translation>
    </message>
    <message>
        <source>a block device</source>
        <translation>一个块设备</translation>
    </message>
    <message>
        <source>a FIFO</source>
        <translation>一个 FIFO（命名管道）</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>一个套接字</translation>
    </message>
    <message>
        <source>something other than a file</source>
        <translation>文件以外的东西</translation>
    </message>
    <message>
        <source>it is %1, not a regular file</source>
        <translation>它是%1，不是普通文件</translation>
    </message>
    <message>
        <source>it is larger than %1 bytes, more than such a file ever holds</source>
        <translation>它大于 %1 字节，超出此类文件可能的大小</translation>
    </message>
    <message>
        <source>no file name given</source>
        <translation>未给出文件名</translation>
    </message>
    <message>
        <source>it leads through more than %1 symbolic links</source>
        <translation>它经过了超过 %1 层符号链接</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>%1 (on the system&apos;s library path)</source>
        <translation>%1(位于系统库路径中)</translation>
    </message>
</context>
<context>
    <name>RecordKeeping</name>
    <message>
        <source>Records</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>The alignments will not be recorded: %1
Check &quot;database&quot; in the [Records] group of %2.</source>
        <translation>校准过程将不会被记录: %1
请检查 %2 中 [Records] 组的 &quot;database&quot;。</translation>
    </message>
</context>
<context>
    <name>RecordsDock</name>
    <message>
        <source>Records</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>every unit</source>
        <translation>所有产品</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>开始时间</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>产品编号</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>传感器</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>结论</translation>
    </message>
    <message>
        <source>White x</source>
        <translation>白点 x</translation>
    </message>
    <message>
        <source>White y</source>
        <translation>白点 y</translation>
    </message>
    <message>
        <source>Lv (cd/m²)</source>
        <translation>Lv (cd/m²)</translation>
    </message>
    <message>
        <source>Requests</source>
        <translation>请求数</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>导出…</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>open</source>
        <translation>进行中</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>未通过</translation>
    </message>
    <message>
        <source>INCOMPLETE</source>
        <translation>未完成</translation>
    </message>
    <message>
        <source>The records cannot be read: %1</source>
        <translation>无法读取记录: %1</translation>
    </message>
    <message>
        <source>Sessions: %1</source>
        <translation>会话: %1</translation>
    </message>
    <message>
        <source>Kept in this station&apos;s file until the line&apos;s database takes it.</source>
        <translation>保存在本工位的文件中，直到产线数据库接收。</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>There are no sessions to export.</source>
        <translation>没有可导出的会话。</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>JSON files (*.json)</source>
        <translation>JSON 文件 (*.json)</translation>
    </message>
    <message>
        <source>Export sessions</source>
        <translation>导出会话</translation>
    </message>
    <message>
        <source>Exporting to %1...</source>
        <translation>正在导出到 %1...</translation>
    </message>
    <message>
        <source>Exported to %1.</source>
        <translation>已导出到 %1。</translation>
    </message>
    <message>
        <source>The sessions could not be exported to %1: %2</source>
        <translation>无法将会话导出到 %1: %2</translation>
    </message>
</context>
<context>
    <name>RequestedPatchSource</name>
    <message>
        <source>Cancelled.</source>
        <translation>已取消。</translation>
    </message>
    <message>
        <source>The patch &quot;%1&quot; was not confirmed within %2 minutes.</source>
        <translation>色块 &quot;%1&quot; 未在 %2 分钟内得到确认。</translation>
    </message>
    <message>
        <source>The patch &quot;%1&quot; was not confirmed within %2 s.</source>
        <translation>色块 &quot;%1&quot; 未在 %2 秒内得到确认。</translation>
    </message>
    <message>
        <source>The patch was refused.</source>
        <translation>色块被拒绝。</translation>
    </message>
</context>
<context>
    <name>ScreenPatchWindow</name>
    <message>
        <source>Sensor matching patch</source>
        <translation>传感器匹配色块</translation>
    </message>
</context>
<context>
    <name>SensorDlg</name>
    <message>
        <source>Sensor Features:</source>
        <translation>传感器功能:</translation>
    </message>
    <message>
        <source>USB</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>SN :</source>
        <translation>序列号:</translation>
    </message>
    <message>
        <source>FW :</source>
        <translation>固件:</translation>
    </message>
    <message>
        <source>Port :</source>
        <translation>端口:</translation>
    </message>
    <message>
        <source>Calibration File:</source>
        <translation>校准文件:</translation>
    </message>
    <message>
        <source>Maxmum Name Size 19 bytes</source>
        <translation>名称最长 19 字节</translation>
    </message>
    <message>
        <source>ScanList</source>
        <translation>扫描列表</translation>
    </message>
    <message>
        <source>ReadOut</source>
        <translation>读出</translation>
    </message>
    <message>
        <source>WriteIn</source>
        <translation>写入</translation>
    </message>
    <message>
        <source>MatrixRead</source>
        <translation>读取矩阵</translation>
    </message>
    <message>
        <source>MatrixWrite</source>
        <translation>写入矩阵</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>已禁用</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>已启用</translation>
    </message>
    <message>
        <source>UserStorage:</source>
        <translation>用户存储:</translation>
    </message>
    <message>
        <source>File List:</source>
        <translation>文件列表:</translation>
    </message>
    <message>
        <source>Matrix Name:</source>
        <translation>矩阵名称:</translation>
    </message>
    <message>
        <source>Matrix Index:</source>
        <translation>矩阵编号:</translation>
    </message>
    <message>
        <source>Meter:</source>
        <translation>仪器:</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>配置文件:</translation>
    </message>
    <message>
        <source>Sync Mode:</source>
        <translation>同步模式:</translation>
    </message>
    <message>
        <source>Freq(Hz):</source>
        <translation>频率(Hz):</translation>
    </message>
    <message>
        <source>CalibMode:</source>
        <translation>校准模式:</translation>
    </message>
    <message>
        <source>CalibValue:</source>
        <translation>校准值:</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>速度:</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Error in Read file %1</source>
        <translation>读取文件 %1 出错</translation>
    </message>
    <message>
        <source>Invalid Matrix Name and Index</source>
        <translation>矩阵名称和编号无效</translation>
    </message>
    <message>
        <source>Matrix Name length &gt; 19 bytes</source>
        <translation>矩阵名称长度超过 19 字节</translation>
    </message>
    <message>
        <source>Invalid Matrix Index %1</source>
        <translation>矩阵编号 %1 无效</translation>
    </message>
    <message>
        <source>Invalid Matrix Index %1, [0,95] acceptable</source>
        <translation>矩阵编号 %1 无效,允许范围 [0,95]</translation>
    </message>
    <message>
        <source>Invalid Matrix value at row%1 col%2</source>
        <translation>第 %1 行第 %2 列的矩阵值无效</translation>
    </message>
    <message>
        <source>Infomation</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Matrix%1 %2 Saved</source>
        <translation>矩阵 %1 %2 已保存</translation>
    </message>
    <message>
        <source>Save Matrix%1  %2, err</source>
        <translation>保存矩阵 %1 %2 出错</translation>
    </message>
    <message>
        <source>Invalid Matrix Index</source>
        <translation>矩阵编号无效</translation>
    </message>
    <message>
        <source>Invalid Matrix Index %1, need [0,95]</source>
        <translation>矩阵编号 %1 无效,须在 [0,95] 内</translation>
    </message>
    <message>
        <source>Matrix%1 Deleted</source>
        <translation>矩阵 %1 已删除</translation>
    </message>
    <message>
        <source>Delete Matrix%1, err</source>
        <translation>删除矩阵 %1 出错</translation>
    </message>
    <message>
        <source>Changing the instrument&apos;s mode</source>
        <translation>正在更改仪器的模式</translation>
    </message>
    <message>
        <source>Reading the list of stored matrices</source>
        <translation>正在读取已存矩阵列表</translation>
    </message>
    <message>
        <source>Reading a stored matrix</source>
        <translation>正在读取已存矩阵</translation>
    </message>
    <message>
        <source>Writing a matrix</source>
        <translation>正在写入矩阵</translation>
    </message>
    <message>
        <source>Deleting a matrix</source>
        <translation>正在删除矩阵</translation>
    </message>
</context>
<context>
    <name>SensorInstrument</name>
    <message>
        <source>sensor of type %1</source>
        <translation>%1 型传感器</translation>
    </message>
    <message>
        <source>The program has no driver for the %1.</source>
        <translation>程序没有%1的驱动。</translation>
    </message>
    <message>
        <source>The %1 needs a port.</source>
        <translation>%1需要一个端口。</translation>
    </message>
    <message>
        <source>The port %1 of the %2 does not exist.</source>
        <translation>%2的端口 %1 不存在。</translation>
    </message>
    <message>
        <source>The %1 could not be opened.</source>
        <translation>无法打开%1。</translation>
    </message>
    <message>
        <source>The %1 could not be opened on %2.</source>
        <translation>无法在 %2 上打开%1。</translation>
    </message>
    <message>
        <source>The %1 is not open.</source>
        <translation>%1未打开。</translation>
    </message>
    <message>
        <source>The matrix for the %1 is not finite; nothing was written.</source>
        <translation>%1的矩阵不是有限值；未写入任何内容。</translation>
    </message>
    <message>
        <source>A matrix written to the %1 needs a name.</source>
        <translation>写入%1的矩阵需要一个名称。</translation>
    </message>
    <message>
        <source>The %1 keeps no matrix at index %2.</source>
        <translation>%1在编号 %2 处不保存矩阵。</translation>
    </message>
    <message>
        <source>The %1 refused to store the matrix at index %2.</source>
        <translation>%1拒绝在编号 %2 处存储矩阵。</translation>
    </message>
    <message>
        <source>The %1 does not list the matrix written at index %2.</source>
        <translation>%1的矩阵列表中没有写入编号 %2 的矩阵。</translation>
    </message>
    <message>
        <source>The matrix written at index %2 could not be read back from the %1.</source>
        <translation>无法从%1读回写入编号 %2 的矩阵。</translation>
    </message>
    <message>
        <source>The matrix read back from index %1 of the %2 differs from the one written: row %3, column %4 reads %5 instead of %6.</source>
        <translation>从%2编号 %1 读回的矩阵与写入的不同：第 %3 行第 %4 列为 %5，而不是 %6。</translation>
    </message>
    <message>
        <source>The matrix read back from index %1 of the %2 is named %3, not %4.</source>
        <translation>从%2编号 %1 读回的矩阵名为 %3，而不是 %4。</translation>
    </message>
</context>
<context>
    <name>SensorMatchingDialog</name>
    <message>
        <source>Chromaticity errors: none yet</source>
        <translation>色度误差：尚无</translation>
    </message>
    <message>
        <source>Chromaticity errors: %1</source>
        <translation>色度误差：%1</translation>
    </message>
    <message>
        <source>Chromaticity errors: %1, drawn %2 times longer</source>
        <translation>色度误差：%1，按 %2 倍长度绘制</translation>
    </message>
    <message>
        <source>Sensor matching</source>
        <translation>传感器匹配</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>传感器</translation>
    </message>
    <message>
        <source>Reference</source>
        <translation>参考仪器</translation>
    </message>
    <message>
        <source>Patches</source>
        <translation>色块</translation>
    </message>
    <message>
        <source>Screen</source>
        <translation>屏幕</translation>
    </message>
    <message>
        <source>Operator confirms each patch</source>
        <translation>由操作员逐个确认色块</translation>
    </message>
    <message>
        <source> s</source>
        <translation> 秒</translation>
    </message>
    <message>
        <source>The standard set</source>
        <translation>标准色块组</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>浏览...</translation>
    </message>
    <message>
        <source>Write to instrument memory at index</source>
        <translation>写入仪器存储器, 索引</translation>
    </message>
    <message>
        <source>Shown by:</source>
        <translation>显示方式:</translation>
    </message>
    <message>
        <source>Screen:</source>
        <translation>屏幕:</translation>
    </message>
    <message>
        <source>Settle:</source>
        <translation>稳定时间:</translation>
    </message>
    <message>
        <source>Repeats:</source>
        <translation>重复次数:</translation>
    </message>
    <message>
        <source>Tolerance (xy):</source>
        <translation>容差 (xy):</translation>
    </message>
    <message>
        <source>Patch file:</source>
        <translation>色块文件:</translation>
    </message>
    <message>
        <source>Output directory:</source>
        <translation>输出目录:</translation>
    </message>
    <message>
        <source>Patch</source>
        <translation>色块</translation>
    </message>
    <message>
        <source>R</source>
        <translation>R</translation>
    </message>
    <message>
        <source>G</source>
        <translation>G</translation>
    </message>
    <message>
        <source>B</source>
        <translation>B</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>用途</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Method</source>
        <translation>方法</translation>
    </message>
    <message>
        <source>Validation mean Δu′v′</source>
        <translation>验证平均 Δu′v′</translation>
    </message>
    <message>
        <source>Max Δu′v′</source>
        <translation>最大 Δu′v′</translation>
    </message>
    <message>
        <source>Max Δxy</source>
        <translation>最大 Δxy</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>结论</translation>
    </message>
    <message>
        <source>Recommended</source>
        <translation>推荐</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Save profile...</source>
        <translation>保存配置文件...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Patch set</source>
        <translation>色块组</translation>
    </message>
    <message>
        <source>Output directory</source>
        <translation>输出目录</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>空闲</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>类型:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>端口:</translation>
    </message>
    <message>
        <source>State:</source>
        <translation>状态:</translation>
    </message>
    <message>
        <source>Alignment is on. Switch it off before matching sensors.</source>
        <translation>对齐已开启。请先关闭对齐再进行传感器匹配。</translation>
    </message>
    <message>
        <source>Choose the sensor&apos;s port.</source>
        <translation>请选择传感器的端口。</translation>
    </message>
    <message>
        <source>Choose the reference&apos;s port.</source>
        <translation>请选择参考仪器的端口。</translation>
    </message>
    <message>
        <source>The reference cannot be on the sensor&apos;s port %1: each instrument needs a port of its own.</source>
        <translation>参考仪器不能使用传感器的端口 %1: 每台仪器需要各自的端口。</translation>
    </message>
    <message>
        <source>The sensor and the reference cannot both be the one %1.</source>
        <translation>传感器和参考仪器不能是同一台 %1。</translation>
    </message>
    <message>
        <source>%1 is the port of the window&apos;s own sensor. Choose another port, or let go of the window&apos;s sensor first (Portscan).</source>
        <translation>%1 是主窗口自身传感器的端口。请选择其他端口, 或先释放主窗口的传感器 (端口扫描)。</translation>
    </message>
    <message>
        <source>%1 is the port of the display under alignment. Choose another port.</source>
        <translation>%1 是正在对齐的显示器的端口。请选择其他端口。</translation>
    </message>
    <message>
        <source>The window&apos;s own sensor is the %1. Let go of it first (Portscan).</source>
        <translation>主窗口自身的传感器是 %1。请先释放它 (端口扫描)。</translation>
    </message>
    <message>
        <source>The patch file %1 cannot be used: %2</source>
        <translation>无法使用色块文件 %1: %2</translation>
    </message>
    <message>
        <source>The output directory %1 cannot be made.</source>
        <translation>无法创建输出目录 %1。</translation>
    </message>
    <message>
        <source>The screen chosen is gone. Choose another.</source>
        <translation>所选屏幕已不存在。请选择其他屏幕。</translation>
    </message>
    <message>
        <source>The program has no driver for the %1.</source>
        <translation>程序没有 %1 的驱动。</translation>
    </message>
    <message>
        <source>The run did not start.</source>
        <translation>匹配未能开始。</translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation>正在取消...</translation>
    </message>
    <message>
        <source>Training</source>
        <translation>训练</translation>
    </message>
    <message>
        <source>Validation</source>
        <translation>验证</translation>
    </message>
    <message>
        <source>Opening...</source>
        <translation>正在打开...</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>Reading...</source>
        <translation>正在测量...</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Closed</source>
        <translation>已关闭</translation>
    </message>
    <message>
        <source>Showing...</source>
        <translation>正在显示...</translation>
    </message>
    <message>
        <source>Sensor %1/%2, reference %3/%2 (%4 taken)</source>
        <translation>传感器 %1/%2, 参考仪器 %3/%2 (已测 %4 次)</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Done: %1</source>
        <translation>完成: %1</translation>
    </message>
    <message>
        <source>Refused: %1</source>
        <translation>被拒绝: %1</translation>
    </message>
    <message>
        <source>Pass</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>Fail</source>
        <translation>未通过</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>Stopped: %1</source>
        <translation>已停止: %1</translation>
    </message>
    <message>
        <source>Done.</source>
        <translation>完成。</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>已取消。</translation>
    </message>
    <message>
        <source>Session: %1</source>
        <translation>会话: %1</translation>
    </message>
    <message>
        <source>Certificate: %1</source>
        <translation>证书: %1</translation>
    </message>
    <message>
        <source>Recommended: %1, within the tolerance.</source>
        <translation>推荐: %1, 在容差之内。</translation>
    </message>
    <message>
        <source>Recommended: %1, outside the tolerance.</source>
        <translation>推荐: %1, 超出容差。</translation>
    </message>
    <message>
        <source>The matrix was written to the sensor&apos;s memory and read back alike.</source>
        <translation>矩阵已写入传感器存储器, 读回结果一致。</translation>
    </message>
    <message>
        <source>The matrix was not written to the sensor&apos;s memory: %1</source>
        <translation>矩阵未写入传感器存储器: %1</translation>
    </message>
    <message>
        <source>The run stopped: %1</source>
        <translation>匹配已停止: %1</translation>
    </message>
    <message>
        <source>The certificate was not written: %1</source>
        <translation>证书未能写入: %1</translation>
    </message>
    <message>
        <source>Show %1 (%2, %3, %4) and press OK</source>
        <translation>请显示 %1 (%2, %3, %4) 后按确定</translation>
    </message>
    <message>
        <source>The operator did not show the patch.</source>
        <translation>操作员未显示该色块。</translation>
    </message>
    <message>
        <source>Save profile</source>
        <translation>保存配置文件</translation>
    </message>
    <message>
        <source>No method is recommended: there is no matrix to save.</source>
        <translation>没有推荐的方法: 没有可保存的矩阵。</translation>
    </message>
    <message>
        <source>The profile %1 could not be saved: %2</source>
        <translation>无法保存配置文件 %1: %2</translation>
    </message>
    <message>
        <source>%1 x %2</source>
        <translation>%1 x %2</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1: %2 (%3)</source>
        <translation>%1: %2 (%3)</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>失败: %1</translation>
    </message>
    <message>
        <source>Pattern command</source>
        <translation>图案命令</translation>
    </message>
    <message>
        <source>Command run for each patch; %r %g %b are its levels (0-255)</source>
        <translation>每个色块运行的命令; %r %g %b 为其电平 (0-255)</translation>
    </message>
    <message>
        <source>Command:</source>
        <translation>命令:</translation>
    </message>
    <message>
        <source>The pattern command cannot be run: %1</source>
        <translation>无法运行图案命令: %1</translation>
    </message>
    <message>
        <source>there is none</source>
        <translation>未给出命令</translation>
    </message>
</context>
<context>
    <name>SessionReadingsDialog</name>
    <message>
        <source>Requests of the session of %1</source>
        <translation>%1 的会话的请求</translation>
    </message>
    <message>
        <source>Requests of unit %1 (%2)</source>
        <translation>产品 %1 的请求 (%2)</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Request</source>
        <translation>请求</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>回复</translation>
    </message>
    <message>
        <source>Raw X</source>
        <translation>原始 X</translation>
    </message>
    <message>
        <source>Raw Y</source>
        <translation>原始 Y</translation>
    </message>
    <message>
        <source>Raw Z</source>
        <translation>原始 Z</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>Z</source>
        <translation>Z</translation>
    </message>
    <message>
        <source>Reading the records...</source>
        <translation>正在读取记录...</translation>
    </message>
    <message>
        <source>The requests cannot be read: %1</source>
        <translation>无法读取请求: %1</translation>
    </message>
    <message>
        <source>Requests: %1</source>
        <translation>请求: %1</translation>
    </message>
</context>
<context>
    <name>SimulatedStation</name>
    <message>
        <source>The stand-in library %1 cannot be loaded: %2</source>
        <translation>无法加载替身库 %1：%2</translation>
    </message>
    <message>
        <source>%1 is no stand-in library: it lacks %2.</source>
        <translation>%1 不是替身库：缺少 %2。</translation>
    </message>
    <message>
        <source>No pseudo-terminal could be opened for the simulated devices.</source>
        <translation>无法为模拟设备打开伪终端。</translation>
    </message>
    <message>
        <source>Display under alignment</source>
        <translation>待校准显示器</translation>
    </message>
    <message>
        <source>aligning firmware on a pseudo-terminal</source>
        <translation>伪终端上的自校准固件</translation>
    </message>
    <message>
        <source>libmlink_ca410 and the CA-410 emulator</source>
        <translation>libmlink_ca410 与 CA-410 模拟器</translation>
    </message>
    <message>
        <source>CR-100 emulator</source>
        <translation>CR-100 模拟器</translation>
    </message>
    <message>
        <source>CR-250 emulator</source>
        <translation>CR-250 模拟器</translation>
    </message>
    <message>
        <source>stand-in libmlink_k10</source>
        <translation>替身 libmlink_k10</translation>
    </message>
    <message>
        <source>stand-in libmlink_i1d3 (no port)</source>
        <translation>替身 libmlink_i1d3（无端口）</translation>
    </message>
    <message>
        <source>CS-2000 (reference)</source>
        <translation>CS-2000（参考）</translation>
    </message>
    <message>
        <source>CS-2000 emulator</source>
        <translation>CS-2000 模拟器</translation>
    </message>
</context>
<context>
    <name>StationWindow</name>
    <message>
        <source>Simulated station</source>
        <translation>模拟工位</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Served by</source>
        <translation>提供者</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>（无）</translation>
    </message>
    <message>
        <source>Reference instrument</source>
        <translation>参考仪器</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>Copy X, Y and Z for pasting into the calibrate dialog&apos;s reference table</source>
        <translation>复制 X、Y、Z，以粘贴到校准对话框的参考值表中</translation>
    </message>
    <message>
        <source>Display under alignment</source>
        <translation>待校准显示器</translation>
    </message>
    <message>
        <source>Align display</source>
        <translation>校准显示器</translation>
    </message>
    <message>
        <source>Let the display&apos;s firmware run its own alignment; switch alignment on in the program first</source>
        <translation>让显示器固件自行校准；请先在程序中开启校准</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>空闲</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>True white error (Δu&apos;v&apos; from D65):</source>
        <translation>真实白点误差（与 D65 的 Δu&apos;v&apos;）：</translation>
    </message>
    <message>
        <source>White error as measured:</source>
        <translation>测得的白点误差：</translation>
    </message>
    <message>
        <source>RGB gains:</source>
        <translation>RGB 增益：</translation>
    </message>
    <message>
        <source>Alignments:</source>
        <translation>校准记录：</translation>
    </message>
    <message>
        <source>Looking at the calibrate dialog&apos;s patch (%1, %2, %3)</source>
        <translation>正在测量校准对话框的色块 (%1, %2, %3)</translation>
    </message>
    <message>
        <source>Looking at the display under alignment</source>
        <translation>正在测量待校准显示器</translation>
    </message>
    <message>
        <source>X %1   Y %2   Z %3</source>
        <translation>X %1   Y %2   Z %3</translation>
    </message>
    <message>
        <source>Run %1: true white error %2, as measured %3</source>
        <translation>第 %1 次：真实白点误差 %2，测得 %3</translation>
    </message>
    <message>
        <source>Run %1 failed: %2</source>
        <translation>第 %1 次失败：%2</translation>
    </message>
    <message>
        <source>Display technology:</source>
        <translation>显示技术：</translation>
    </message>
    <message>
        <source>Put a panel of another technology on the stand: the sensors&apos; errors depend on the spectra it emits</source>
        <translation>换上另一种技术的面板：传感器的误差取决于它发出的光谱</translation>
    </message>
    <message>
        <source>True white on the chromaticity diagram</source>
        <translation>色度图上的真实白点</translation>
    </message>
    <message>
        <source>Run %1</source>
        <translation>第 %1 次</translation>
    </message>
    <message>
        <source>True white</source>
        <translation>真实白点</translation>
    </message>
</context>
<context>
    <name>StoredPortSensor</name>
    <message>
        <source>Can&apos;t open</source>
        <translation>无法打开</translation>
    </message>
</context>
<context>
    <name>TablePaste</name>
    <message>
        <source>Paste</source>
        <translation>粘贴</translation>
    </message>
    <message>
        <source>Only numbers can be pasted here; &quot;%1&quot; is not a number.</source>
        <translation>此处只能粘贴数字；&quot;%1&quot; 不是数字。</translation>
    </message>
</context>
<context>
    <name>WorldPatchSource</name>
    <message>
        <source>Cancelled.</source>
        <translation>已取消。</translation>
    </message>
</context>
</TS>
