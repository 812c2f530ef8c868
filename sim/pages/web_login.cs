<!DOCTYPE html>
<html lang="<?cs if:lang == "cn" ?>zh-CN<?cs else ?>en<?cs /if ?>">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="referrer" content="no-referrer">
<title><?cs if:lang == "cn" ?>登录<?cs else ?>Log in<?cs /if ?></title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<main class="panel">
<h1><?cs if:lang == "cn" ?>交换机网页管理 - 登录<?cs else ?>Switch web management - log in<?cs /if ?></h1>
<?cs if:notice == "logged_out" ?><p id="notice"><?cs if:lang == "cn" ?>您已退出登录。<?cs else ?>You have logged out.<?cs /if ?></p><?cs /if ?>
<?cs if:?error ?><p class="warn" id="login_error"><?cs var:error ?></p><?cs /if ?>
<form id="login_form" method="post" action="web_login.cgi">
<div class="row">
 <label for="username"><?cs if:lang == "cn" ?>用户名<?cs else ?>User name<?cs /if ?></label>
 <input id="username" name="username" value="<?cs var:username ?>" autocomplete="username">
</div>
<div class="row">
 <label for="password"><?cs if:lang == "cn" ?>密码<?cs else ?>Password<?cs /if ?></label>
 <input id="password" name="password" type="password" autocomplete="current-password">
</div>
<div class="row">
 <label for="lang"><?cs if:lang == "cn" ?>语言<?cs else ?>Language<?cs /if ?></label>
 <select id="lang" name="lang">
  <option value="en"<?cs if:lang == "en" ?> selected<?cs /if ?>>English</option>
  <option value="cn"<?cs if:lang == "cn" ?> selected<?cs /if ?>>中文</option>
 </select>
</div>
<div class="actions"><button type="submit" id="login_bn"><?cs if:lang == "cn" ?>登录<?cs else ?>Log in<?cs /if ?></button></div>
</form>
</main>
</body>
</html>

