<!DOCTYPE html>
<html lang="<?cs if:lang == "cn" ?>zh-CN<?cs else ?>en<?cs /if ?>">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="referrer" content="no-referrer">
<title><?cs if:lang == "cn" ?>错误<?cs else ?>Error<?cs /if ?></title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<main class="panel">
<h1><?cs if:lang == "cn" ?>操作失败<?cs else ?>The operation failed<?cs /if ?></h1>
<p class="warn" id="error_message"><?cs if:?errtext ?><?cs var:errtext ?><?cs
 elif:lang == "cn" ?><?cs
  if:errid == "invalid_parameter" ?>参数无效。<?cs
  elif:errid == "error_prog_busy" ?>该页面正在为本会话处理另一个请求，请稍后再试。<?cs
  elif:errid == "error_no_privilege" ?>您的账户没有执行此操作的权限。<?cs
  elif:errid == "error_too_many_entries" ?>一次最多可选择 200 个表项，请分批选择。未更改任何表项。<?cs
  elif:errid == "error_move_same_interface" ?>表项已在该接口上，没有移动。<?cs
  elif:errid == "configure_mode_inuse" ?>另一个用户正在使用配置模式，请稍后再试。<?cs
  elif:errid == "cli_unavailable" ?>交换机命令行暂时不可用，未执行任何更改。<?cs
  elif:errid == "cli_timeout" ?>交换机没有及时响应。更改可能已经生效，也可能没有，请查看地址表。<?cs
  elif:errid == "cli_no_answer" ?>命令已发送给交换机，但无法读取其完整应答。更改可能已经生效，也可能没有，请查看地址表。<?cs
  elif:errid == "cli_refused" ?>交换机命令行拒绝了该命令，但未说明原因。未执行任何更改。<?cs
  elif:errid == "cli_not_applied" ?>交换机的应答无法确定结果，读回的地址表显示该更改未生效，交换机也未说明原因。<?cs
  elif:errid == "error_batch_too_large" ?>一次最多可添加 1024 个表项、64 KiB 的文本，请分批发送。未添加任何表项。<?cs
  elif:errid == "error_batch_unshown" ?>列表已发送给交换机，但无法显示其结果页面。请查看地址表了解添加了哪些表项；每项结果均已记入系统日志。<?cs
  elif:errid == "error_export_incomplete" ?>交换机没有返回完整的地址表，未导出任何内容。请重试。<?cs
  elif:errid == "error_rows_over" ?>符合条件的表项超过 2048 个，请缩小筛选范围后重试。<?cs /if ?><?cs
 else ?><?cs
  if:errid == "invalid_parameter" ?>A value of the request is not valid.<?cs
  elif:errid == "error_prog_busy" ?>This page is busy with another request of your session; try again in a moment.<?cs
  elif:errid == "error_no_privilege" ?>Your account is not allowed to do this.<?cs
  elif:errid == "error_too_many_entries" ?>At most 200 entries can be selected at a time; select fewer. Nothing was changed.<?cs
  elif:errid == "error_move_same_interface" ?>The entry is already on that interface; nothing was moved.<?cs
  elif:errid == "configure_mode_inuse" ?>Another user holds configuration mode; try again later.<?cs
  elif:errid == "cli_unavailable" ?>The switch's command line is not available; nothing was changed.<?cs
  elif:errid == "cli_timeout" ?>The switch did not answer in time. The change may or may not have been made; check the table.<?cs
  elif:errid == "cli_no_answer" ?>The command reached the switch, but its answer could not be read in full. The change may or may not have been made; check the table.<?cs
  elif:errid == "cli_refused" ?>The switch's command line refused the command without saying why. Nothing was changed.<?cs
  elif:errid == "cli_not_applied" ?>The switch's answer left the outcome in doubt, and its table, read back, shows the change was not made; the switch did not say why.<?cs
  elif:errid == "error_batch_too_large" ?>At most 1,024 entries and 64 KiB of text can be added at a time; send them in parts. Nothing was added.<?cs
  elif:errid == "error_batch_unshown" ?>The list went to the switch, but its result page could not be shown. See the table for what was added; each entry's outcome is in the syslog.<?cs
  elif:errid == "error_export_incomplete" ?>The switch did not give its table in full, so nothing was exported. Try again.<?cs
  elif:errid == "error_rows_over" ?>More than 2,048 entries match; narrow the filter and try again.<?cs /if ?><?cs
 /if ?></p>
<p class="links"><a id="back_link" href="<?cs var:rdrpage ?>"><?cs if:lang == "cn" ?>返回<?cs else ?>Back<?cs /if ?></a></p>
</main>
</body>
</html>

