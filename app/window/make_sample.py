#!/usr/bin/env python3
"""Writes test.json, the sample a new user's first click converts.

300 JSON lines in code page 936 (GBK) with CR LF line ends. Every 20th line
(lines 20, 40, ..., 300) is an error line of one of five kinds, so a run with
a column limit of 0 ends at 300 lines processed and 15 error lines. The window
tests rely on these totals.

Run from anywhere: python3 app/window/make_sample.py
"""
import pathlib

LINES = 300
ERROR_EVERY = 20

SURNAMES = "张王李赵刘陈杨黄周吴"
GIVEN = ["伟", "芳", "娜", "敏", "静", "磊", "洋", "艳", "勇", "军", "杰", "娟"]
CITIES = ["北京", "上海", "广州", "深圳", "杭州", "成都", "武汉", "西安", "南京", "重庆"]
PRODUCTS = ["笔记本电脑", "显示器", "机械键盘", "无线鼠标", "移动硬盘", "打印机", "路由器"]
BAD_LINES = [
    '{"编号":%d,"姓名":"缺少右括号"',      # not valid JSON
    "{}",                                  # no members
    "",                                    # empty line
    "这一行不是JSON %d",                    # plain text
    '{"编号":%d,"备注":"未结束的字符串}',    # string without its closing quote
]


def good_line(i: int) -> str:
    name = SURNAMES[i % len(SURNAMES)] + GIVEN[(i * 7) % len(GIVEN)]
    city = CITIES[(i * 3) % len(CITIES)]
    product = PRODUCTS[(i * 5) % len(PRODUCTS)]
    amount = "%d.%02d" % (100 + (i * 37) % 9000, (i * 13) % 100)
    paid = "true" if i % 3 else "false"
    note = "null" if i % 4 == 0 else '"第%d单，客户说\\"尽快发货\\""' % i
    tags = '["%s",%d,"%s"]' % (city, i % 5, "加急" if i % 6 == 0 else "普通")
    return ('{"编号":%d,"姓名":"%s","城市":"%s","商品":"%s","金额":%s,'
            '"已付款":%s,"备注":%s,"标签":%s,"地址":{"省":"%s"}}'
            % (i, name, city, product, amount, paid, note, tags, city))


def main() -> None:
    out = []
    for i in range(1, LINES + 1):
        if i % ERROR_EVERY == 0:
            bad = BAD_LINES[(i // ERROR_EVERY) % len(BAD_LINES)]
            out.append(bad % i if "%d" in bad else bad)
        else:
            out.append(good_line(i))
    data = "".join(line + "\r\n" for line in out).encode("gbk")
    path = pathlib.Path(__file__).with_name("test.json")
    path.write_bytes(data)


if __name__ == "__main__":
    main()
