<?cs def:page_top(title) ?><!DOCTYPE html>
<html lang="<?cs var:L.html_lang ?>">
<head>
<meta charset="utf-8">
<meta name="referrer" content="no-referrer">
<title><?cs var:title ?></title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<main class="panel">
<h1><?cs var:title ?></h1>
<?cs if:?cli_failed ?><p class="warn" id="cli_failed"><?cs var:L.cli_failed ?></p><?cs /if ?><?cs /def ?>
<?cs def:page_bottom() ?>
</main>
</body>
</html>
<?cs /def ?>
