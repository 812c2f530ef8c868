<?cs set:L.html_lang = "zh-CN" ?>
<?cs set:L.add_title = "添加静态MAC地址表项" ?>
<?cs set:L.list_title = "静态MAC地址表" ?>
<?cs set:L.mac = "MAC地址" ?>
<?cs set:L.mac_hint = "三组四位十六进制数，例如 00e0.fc0a.b1c2" ?>
<?cs set:L.intf = "接口" ?>
<?cs set:L.vlan = "VLAN" ?>
<?cs set:L.type = "类型" ?>
<?cs set:L.add = "添加" ?>
<?cs set:L.back = "返回地址表" ?>
<?cs set:L.no_ports = "交换机没有报告任何端口。" ?>
<?cs set:L.no_privilege = "您的账户只能查看地址表，不能添加表项。" ?>
<?cs set:L.ethernet = "以太网端口" ?>
<?cs set:L.aggregation = "链路聚合端口" ?>
<?cs set:L.other_lang = "English" ?>
<?cs set:L.other_lang_code = "en" ?>
<?cs set:L.filter = "筛选" ?>
<?cs set:L.all = "全部" ?>
<?cs set:L.add_link = "添加静态表项" ?>
<?cs set:L.logout = "退出登录" ?>
<?cs set:L.no_entries = "没有符合条件的静态表项。" ?>
<?cs set:L.cli_failed = "交换机没有返回完整的数据，显示的内容可能不完整。请刷新页面重试。" ?>
<?cs set:L.delete_selected = "删除所选" ?>
<?cs set:L.delete_confirm_one = "删除 1 个静态表项？" ?>
<?cs set:L.delete_too_many = "一次最多可删除 %d 个表项，请减少选择。" ?>
<?cs set:L.delete_confirm_many = "删除 %d 个静态表项？" ?>
<?cs set:L.select = "选择此表项" ?>
<?cs set:L.select_all = "选择本页全部表项" ?>
<?cs set:L.mac_group.addr0 = "MAC 地址第 1 组（共 3 组）" ?>
<?cs set:L.mac_group.addr1 = "MAC 地址第 2 组（共 3 组）" ?>
<?cs set:L.mac_group.addr2 = "MAC 地址第 3 组（共 3 组）" ?>
<?cs set:L.select_entry = "选择" ?>
<?cs set:L.per_page = "每页行数" ?>
<?cs set:L.show = "显示" ?>
<?cs set:L.page_first = "首页" ?>
<?cs set:L.page_prev = "上一页" ?>
<?cs set:L.page_next = "下一页" ?>
<?cs set:L.page_last = "末页" ?>
<?cs set:L.pager = "分页" ?>
<?cs set:L.pager_top = "分页（表格上方）" ?>
<?cs def:count_text(first, last, count) ?><?cs if:count == 0 ?>共 0 条<?cs else ?>第 <?cs var:first ?>–<?cs var:last ?> 条，共 <?cs var:count ?> 条<?cs /if ?><?cs /def ?>
<?cs def:page_text(page, pages) ?>第 <?cs var:page ?> 页，共 <?cs var:pages ?> 页<?cs /def ?>
<?cs def:rows_over_text(max) ?>符合条件的表项超过 <?cs var:max ?> 个，本页无法排序和计数：请缩小筛选范围（VLAN、接口或MAC地址）。<?cs /def ?>
<?cs set:L.mac_invalid = "请输入四位十六进制数（0-9、a-f）" ?>
<?cs set:L.vlan_invalid = "请输入 1 到 4094 之间的 VLAN" ?>
<?cs set:L.mac_group_invalid = "请输入一到四位十六进制数（0-9、a-f），留空表示任意" ?>
<?cs set:L.filter_invalid = "筛选条件无效（见下方标记的字段），未列出任何表项。请修改后重新筛选。" ?>
<?cs set:L.add_many_title = "批量添加表项" ?>
<?cs set:L.entries_hint = "每行一个表项：MAC地址、VLAN、接口，以逗号、制表符或空格分隔。以 # 开头的行被跳过；从地址表导出的文件可以直接载入。" ?>
<?cs set:L.entries_file = "载入文件" ?>
<?cs set:L.add_many = "全部添加" ?>
<?cs set:L.batch_line = "第 %d 行：" ?>
<?cs set:L.fault.control = "含有控制字符" ?>
<?cs set:L.fault.fields = "需要正好三个字段：MAC地址、VLAN、接口" ?>
<?cs set:L.fault.mac = "不是MAC地址（xxxx.xxxx.xxxx、xx:xx:xx:xx:xx:xx 或 xx-xx-xx-xx-xx-xx）" ?>
<?cs set:L.fault.vlan = "不是 1 到 4094 之间的 VLAN" ?>
<?cs set:L.fault.intf = "不是交换机的端口名（eth-S-P 或 aggN）" ?>
<?cs set:L.fault.conflict = "与第 %d 行的MAC地址和VLAN相同，但接口不同" ?>
<?cs set:L.fault.too_many = "超过 %d 个表项，请分批发送" ?>
<?cs set:L.fault.too_long = "列表超过 64 KiB，请分批发送" ?>
<?cs set:L.batch_title = "批量添加结果" ?>
<?cs def:set_batch_title() ?><?cs
 if:batch.state == "ran" && batch.action == "pin" ?><?cs set:BatchTitle = "已转为静态 " + batch.added + " 个，被拒绝 " + batch.refused + " 个" ?><?cs
  if:batch.unknown > 0 ?><?cs set:BatchTitle = BatchTitle + "，结果未知 " + batch.unknown + " 个" ?><?cs /if ?><?cs
 elif:batch.state == "ran" ?><?cs set:BatchTitle = "已添加 " + batch.added + " 个，被拒绝 " + batch.refused + " 个" ?><?cs
  if:batch.unknown > 0 ?><?cs set:BatchTitle = BatchTitle + "，结果未知 " + batch.unknown + " 个" ?><?cs /if ?><?cs
 elif:batch.state == "invalid" ?><?cs set:BatchTitle = "未添加：" + batch.invalid + " 行无效" ?><?cs
 elif:batch.state == "empty" ?><?cs set:BatchTitle = "未添加：列表中没有表项" ?><?cs
 else ?><?cs set:BatchTitle = "批量添加结果" ?><?cs /if ?><?cs /def ?>
<?cs set:L.only_not_added = "只显示未添加的行" ?>
<?cs set:L.mend = "修改这些行" ?>
<?cs set:L.mend_all = "修改列表" ?>
<?cs set:L.outcome.added = "已添加" ?>
<?cs set:L.outcome.refused = "被拒绝" ?>
<?cs set:L.outcome.unknown = "结果未知" ?>
<?cs set:L.outcome.invalid = "无效" ?>
<?cs set:L.line = "行" ?>
<?cs set:L.outcome_head = "结果" ?>
<?cs set:L.same_entry = "与第 %d 行是同一表项" ?>
<?cs set:L.batch_invalid = "未添加任何表项：以下各行无效。请修改后重新发送。" ?>
<?cs set:L.batch_empty = "列表中没有表项；未添加任何表项。" ?>
<?cs set:L.batch_failure.cli_timeout = "交换机没有及时响应：以下各表项可能已经添加，也可能没有，请查看地址表。" ?>
<?cs set:L.batch_failure.cli_no_answer = "无法读取交换机的完整应答：以下各表项可能已经添加，也可能没有，请查看地址表。" ?>
<?cs set:L.batch_failure.cli_unavailable = "交换机命令行无法运行：未添加任何表项。" ?>
<?cs set:L.batch_failure.configure_mode_inuse = "另一个用户正在使用配置模式：未添加任何表项。" ?>
<?cs set:L.batch_read_back = "交换机的应答无法确定结果：以下每项结果均已从交换机的地址表读回核对。" ?>
<?cs set:L.not_applied = "交换机的地址表中没有该表项，交换机也未说明原因" ?>
<?cs set:L.batch_again = "继续添加表项" ?>
<?cs def:batch_summary(added, refused, unknown, invalid) ?><?cs if:batch.action == "pin" ?>已转为静态<?cs else ?>已添加<?cs /if ?> <?cs var:added ?> 个 · 被拒绝 <?cs var:refused ?> 个 · 结果未知 <?cs var:unknown ?> 个 · 无效 <?cs var:invalid ?> 个<?cs /def ?>
<?cs def:conflict_text(n) ?>与第 <?cs var:n ?> 行的MAC地址和VLAN相同，但接口不同<?cs /def ?>
<?cs def:same_entry_text(n) ?>与第 <?cs var:n ?> 行是同一表项<?cs /def ?>
<?cs set:L.export = "导出为 CSV" ?>
<?cs def:removed_text(n) ?>已删除 <?cs var:n ?> 个表项。<?cs /def ?>
<?cs set:L.added_here = "已添加 %s：第 %d 行，已在下方标出。" ?>
<?cs set:L.added_elsewhere = "您的表项 %s 不在本页。" ?>
<?cs set:L.added_show = "显示该表项" ?>
<?cs set:L.list_title_dynamic = "学习到的MAC地址表" ?>
<?cs set:L.list_title_all = "MAC地址表" ?>
<?cs set:L.kind.static = "静态" ?>
<?cs set:L.kind.dynamic = "学习" ?>
<?cs set:L.kind.all = "全部" ?>
<?cs set:L.no_entries_dynamic = "没有符合条件的学习表项。" ?>
<?cs set:L.no_entries_all = "没有符合条件的表项。" ?>
<?cs set:L.actions = "操作" ?>
<?cs set:L.pin = "转为静态" ?>
<?cs set:L.pin_confirm_one = "将 1 个学习表项转为静态表项（在学习到它的接口上）？" ?>
<?cs set:L.pin_confirm_many = "将 %d 个学习表项转为静态表项（各在学习到它的接口上）？" ?>
<?cs set:L.move = "移动" ?>
<?cs set:L.move_title = "移动静态表项" ?>
<?cs set:L.move_hint = "表项的MAC地址和VLAN不变；请选择要移到的接口。" ?>
<?cs set:L.move_to = "移到" ?>
<?cs set:L.move_again = "选择其他接口" ?>
<?cs set:L.move_said = "交换机的回应：" ?>
<?cs set:L.move_unknown_title = "无法确定表项是否已移动" ?>
<?cs set:L.move_failed_title = "表项未移动" ?>
<?cs set:L.moved_here = "已移动 %s：第 %d 行，已在下方标出。" ?>
<?cs def:move_result_text(result, now) ?><?cs
 if:result == "refused" ?>交换机拒绝了新接口：表项仍在原处，即 <?cs var:now ?>。<?cs
 elif:result == "restored" ?>表项离开原接口后，交换机拒绝了新接口：表项已放回 <?cs var:now ?>。<?cs
 elif:result == "lost" ?>表项离开原接口后，交换机拒绝了新接口，且无法放回：<?cs if:now ?>地址表现在将其记在 <?cs var:now ?> 上。<?cs else ?>地址表中现在没有该MAC地址在该VLAN中的表项。<?cs /if ?><?cs
 elif:result == "elsewhere" ?>交换机的地址表现在将该表项记在 <?cs var:now ?> 上，既不是原接口也不是新接口。<?cs
 else ?>交换机的回应和地址表都无法确定表项是否已移动，请查看地址表。<?cs /if ?><?cs /def ?>
<?cs set:L.pinned = "已转为静态" ?>
