<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Ready.</source>
        <translation>就绪。</translation>
    </message>
</context>
</TS>
