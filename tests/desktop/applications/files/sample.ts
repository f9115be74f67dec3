<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
<name>Sample</name>
<message>
<source>alpha beta gamma delta epsilon</source>
<translation type="unfinished">alpha beta gamma delta epsilon</translation>
</message>
</context>
</TS>
