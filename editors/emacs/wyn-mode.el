;;; wyn-mode.el --- major mode for WYN installation scripts  -*- lexical-binding: t -*-

;; Version: 1.0
;; Package-Requires: ((emacs "27.1"))
;; Keywords: languages

;;; Commentary:

;; Colours *.wyn files the way the editor plug-in does: comments and
;; strings through the syntax table, the plug-in's three word classes
;; (constants, reserved words, built-in functions) and numbers through
;; font-lock.  The words are not written here: `wyn export --format=emacs'
;; writes them to wyn-words.el, which this mode loads from its own folder
;; (or from `load-path').  Without it only comments, strings and numbers
;; are coloured.
;;
;; Set-up:
;;
;;   (add-to-list 'load-path "~/.emacs.d/wyn")
;;   (require 'wyn-mode)
;;   (add-hook 'wyn-mode-hook #'eglot-ensure)  ; the language server
;;
;; The server is `wyn lsp' (see `wyn-program'); eglot learns of it when it
;; loads.  Imenu lists the script's routines, C-M-a and C-M-e move between
;; them, and TAB indents by the block words.

;;; Code:

(defgroup wyn nil
  "WYN installation scripts."
  :group 'languages
  :prefix "wyn-")

(defcustom wyn-program "wyn"
  "The wyn tool, by name on PATH or by its full path.
Its `lsp' command is the language server eglot starts."
  :type 'string)

(defcustom wyn-indent-offset nil
  "Columns a line inside a block is indented by; nil for `tab-width'.
The editor's own smart indent, and the server's on-type formatting,
indent by one tab."
  :type '(choice (const :tag "tab-width" nil) integer)
  :safe (lambda (v) (or (null v) (integerp v))))

(defcustom wyn-plugin-colours nil
  "Non-nil: colour with the editor's own category colours.
They come from wyn-words.el; nil leaves the faces to the theme."
  :type 'boolean)

(defface wyn-number-face
  '((t :inherit font-lock-constant-face))
  "Face of numbers.")

(defconst wyn--directory
  (file-name-directory (or load-file-name buffer-file-name default-directory))
  "The folder this file was loaded from; wyn-words.el is looked for there first.")

;;;; The words

(defvar wyn--word-faces nil
  "Each word of the plug-in's tables mapped to its face.
nil until wyn-words.el is looked for, `missing' when it was not found.")

(defun wyn--load-words ()
  "Load wyn-words.el once and build `wyn--word-faces'; nil when it is missing."
  (when (null wyn--word-faces)
    (setq wyn--word-faces 'missing)
    (if (or (featurep 'wyn-words)
            (load (expand-file-name "wyn-words" wyn--directory) t t)
            (require 'wyn-words nil t))
        (let ((table (make-hash-table :test #'equal :size 1000)))
          ;; Class 0 first: a word in two classes keeps its first.
          (dolist (class '((wyn-words-constants . font-lock-constant-face)
                           (wyn-words-keywords . font-lock-keyword-face)
                           (wyn-words-functions . font-lock-builtin-face)))
            (dolist (word (symbol-value (car class)))
              (unless (gethash word table)
                (puthash word (cdr class) table))))
          (setq wyn--word-faces table))
      (display-warning
       'wyn
       (format "wyn-words.el was not found, so only comments, strings and numbers are coloured; make it with: %s export --format=emacs -o %s"
               wyn-program (expand-file-name "wyn-words.el" wyn--directory)))))
  (and (hash-table-p wyn--word-faces) wyn--word-faces))

;;;; Characters, as the plug-in classes them (ASCII only)

(defconst wyn--word-run "A-Za-z0-9_#"
  "The characters of a word, for `skip-chars-forward'.")

(defun wyn--word-char-p (c)
  (and c (or (and (>= c ?a) (<= c ?z)) (and (>= c ?A) (<= c ?Z))
             (and (>= c ?0) (<= c ?9)) (eq c ?_) (eq c ?#))))

(defun wyn--delimiter-p (c)
  "Non-nil when C may stand before a word the plug-in looks up; nil C is the start."
  (or (null c) (memq c '(?\s ?\t ?\r ?\n ?\( ?\) ?, ?= ?+ ?! ?& ?| ?~ ?^ ?< ?>))))

(defun wyn--number-lead-p (c)
  "Non-nil when a number may follow C: a blank, the start, or punctuation but `_'."
  (or (null c) (memq c '(?\s ?\t ?\r ?\n))
      (and (>= c 33) (<= c 126) (not (wyn--word-char-p c)))))

;;;; Font-lock

(defvar-local wyn--match-face nil
  "The face of the word `wyn--match-word' found last.")

(defun wyn--match-word (limit)
  "Find the next word of the tables before LIMIT, whole and after a delimiter."
  (let ((table wyn--word-faces) face)
    (when (hash-table-p table)
      (while (and (not face) (re-search-forward "[A-Za-z0-9_#]+" limit t))
        (when (wyn--delimiter-p (char-before (match-beginning 0)))
          (setq face (gethash (match-string-no-properties 0) table))))
      (when face
        (setq wyn--match-face face)
        t))))

(defun wyn--match-number (limit)
  "Find the next number before LIMIT as the plug-in reads one.
A digit not inside a word, after a blank or punctuation; then hex digits
and dots, with `x' allowed second; not when `_' follows; one `l' or `L'
after it joins it."
  (let (found)
    (while (and (not found) (re-search-forward "[0-9]" limit t))
      (let* ((b (match-beginning 0))
             (before (char-before b)))
        (goto-char b)
        (cond
         ((wyn--word-char-p before)     ; inside a word
          (skip-chars-forward wyn--word-run limit))
         (t
          (looking-at "[0-9]x?[0-9A-Fa-f.]*")
          (let ((e (match-end 0)))
            (goto-char e)
            (when (and (wyn--number-lead-p before) (not (eq (char-after e) ?_)))
              (when (memq (char-after e) '(?l ?L))
                (setq e (1+ e))
                (goto-char e))
              (set-match-data (list b e))
              (setq found t)))))))
    found))

(defconst wyn-font-lock-keywords
  '((wyn--match-word (0 wyn--match-face))
    (wyn--match-number (0 'wyn-number-face)))
  "Words of the plug-in's tables and numbers; comments and strings come first.")

;;;; Syntax

(defvar wyn-mode-syntax-table
  (let ((st (make-syntax-table)))
    (modify-syntax-entry ?/ ". 124b" st)
    (modify-syntax-entry ?* ". 23" st)
    (modify-syntax-entry ?\n "> b" st)
    (modify-syntax-entry ?\" "\"" st)
    (modify-syntax-entry ?' "\"" st)
    (modify-syntax-entry ?\\ "\\" st)
    (modify-syntax-entry ?_ "_" st)
    (modify-syntax-entry ?# "_" st)
    (dolist (c '(?. ?= ?+ ?- ?% ?< ?> ?! ?& ?| ?^ ?~ ?: ?\; ?,))
      (modify-syntax-entry c "." st))
    st)
  "Comments `//' and `/* */', strings in either quote, backslash escapes.")

(defun wyn--syntax-propertize (start end)
  "Mark what the syntax table alone gets wrong between START and END.
A string the plug-in ends at its line's end (no closing quote, or a
backslash before the line break), and a `/*/' comment, which the `/'
right after its opener already closes."
  (goto-char start)
  (while (re-search-forward "[\"']\\|/\\*/" end t)
    (let* ((b (match-beginning 0))
           (ppss (save-excursion (syntax-ppss b))))
      (cond
       ((or (nth 3 ppss) (nth 4 ppss)))  ; a closer, or text of a comment
       ((and (eq (char-after b) ?/) (eq (char-before b) ?/)))  ; "//*/": a line comment
       ((eq (char-after b) ?/)
        (put-text-property b (1+ b) 'syntax-table (string-to-syntax "!"))
        (put-text-property (1+ b) (+ b 2) 'syntax-table (string-to-syntax "."))
        (put-text-property (+ b 2) (+ b 3) 'syntax-table (string-to-syntax "!")))
       (t
        (let ((q (char-after b)) closed)
          (goto-char (1+ b))
          (while (and (not closed) (re-search-forward (format "[%c\\\n]" q) (line-end-position) t))
            (cond ((eq (char-before) ?\\)
                   (when (memq (char-after) (list q ?\\)) (forward-char)))
                  (t (setq closed t))))
          (unless closed
            ;; Open to the line's end: fence from the quote to the line break.
            (goto-char (line-end-position))
            (put-text-property b (1+ b) 'syntax-table (string-to-syntax "|"))
            (when (eq (char-before) ?\\)
              (put-text-property (1- (point)) (point) 'syntax-table (string-to-syntax ".")))
            (when (< (point) (point-max))
              (put-text-property (point) (1+ (point)) 'syntax-table (string-to-syntax "|"))
              (forward-char)))))))))

;;;; Routines: imenu and moving by routine

(defconst wyn--header-re
  "^[ \t]*\\(function\\)[ \t]+[^(\n]*?\\([A-Za-z0-9_#]+\\)[ \t]*("
  "A routine's header: `function', then the name just before the first `('.")

(defun wyn--live-header-p ()
  "Non-nil when the header just matched is code and a definition.
Not in a comment or string; not a declaration (its list followed by `;')."
  (save-match-data
    (and (not (nth 8 (save-excursion (syntax-ppss (match-beginning 1)))))
         (save-excursion
           (goto-char (1- (match-end 0)))
           (not (and (ignore-errors (forward-sexp) t)
                     (progn (skip-chars-forward " \t") (eq (char-after) ?\;))))))))

(defun wyn--find-header (backward)
  "Move to the next live header, BACKWARD or forward; nil when there is none.
The match data then hold the header's, the name as group 2."
  (let ((case-fold-search nil) found)
    (while (and (not found)
                (if backward
                    (re-search-backward wyn--header-re nil t)
                  (re-search-forward wyn--header-re nil t)))
      (setq found (wyn--live-header-p)))
    (when found (goto-char (match-beginning 0)))
    found))

(defun wyn-imenu-index ()
  "The script's routines, by name, outside comments and strings."
  (let (index)
    (save-excursion
      (goto-char (point-min))
      (while (wyn--find-header nil)
        (push (cons (match-string-no-properties 2) (match-beginning 2)) index)
        (forward-line 1)))
    (nreverse index)))

(defun wyn-beginning-of-defun (&optional arg)
  "Move to the header of the ARGth routine before point (after, if negative)."
  (let ((n (or arg 1)) (found t))
    (if (>= n 0)
        (dotimes (_ n) (when found (setq found (wyn--find-header t))))
      (dotimes (_ (- n))
        (when found
          (end-of-line)
          (setq found (wyn--find-header nil)))))
    found))

(defun wyn-end-of-defun ()
  "Move past the `end;' that closes the routine whose header is at point."
  (let ((case-fold-search nil) done)
    (while (and (not done) (re-search-forward "^[ \t]*end[ \t]*;" nil t))
      (setq done (not (nth 8 (syntax-ppss)))))
    (unless done (goto-char (point-max)))
    (forward-line 1)))

;;;; Indentation

(defconst wyn--opener-re
  "[ \t]*\\(?:if\\|while\\|else\\|for\\|case\\|elseif\\|switch\\|begin\\|program\\|repeat\\|default\\)\\_>"
  "Words a line opens a block with: the plug-in's, and repeat and default.")

(defconst wyn--closer-re
  "[ \t]*\\(?:end\\|endif\\|endwhile\\|endfor\\|endswitch\\|endprogram\\|else\\|elseif\\|until\\|case\\|default\\)\\_>"
  "Words that end a block, or stand at the level of the block's opener.")

(defun wyn--indentation-for-line ()
  "The current line's indentation, from the code line above and its own first word."
  (save-excursion
    (beginning-of-line)
    (let ((case-fold-search nil)
          (closes (and (looking-at wyn--closer-re) (not (nth 8 (syntax-ppss (point))))))
          above opens)
      (while (and (not above) (zerop (forward-line -1)))
        (unless (or (looking-at "[ \t]*$")
                    (save-excursion (nth 8 (syntax-ppss (line-end-position)))))
          (setq above (current-indentation))
          (setq opens (and (looking-at wyn--opener-re)
                           (not (nth 8 (syntax-ppss (point))))
                           ;; "if (x) goto done;" is one statement, no block.
                           (or (not (looking-at "[ \t]*\\(?:else\\)?if\\_>"))
                               (looking-at ".*\\_<then\\_>[ \t]*\\(?://.*\\)?$"))))))
      (let ((step (or wyn-indent-offset tab-width)))
        (max 0 (+ (or above 0) (if opens step 0) (if closes (- step) 0)))))))

(defun wyn-indent-line ()
  "Indent the current line by the block words; inside a block comment, keep it."
  (let ((in-comment (save-excursion (nth 4 (syntax-ppss (line-beginning-position))))))
    (unless in-comment
      (let ((offset (- (current-column) (current-indentation))))
        (indent-line-to (wyn--indentation-for-line))
        (when (> offset 0) (move-to-column (+ (current-indentation) offset)))))))

;;;; The mode

(defun wyn--apply-plugin-colours ()
  "Remap the faces of this buffer to the editor's category colours."
  (when (and wyn-plugin-colours (wyn--load-words) (boundp 'wyn-words-colours))
    (dolist (pair '((comment . font-lock-comment-face)
                    (constant . font-lock-constant-face)
                    (keyword . font-lock-keyword-face)
                    (function . font-lock-builtin-face)
                    (string . font-lock-string-face)
                    (number . wyn-number-face)))
      (let ((colour (cdr (assq (car pair) (symbol-value 'wyn-words-colours)))))
        (when colour (face-remap-add-relative (cdr pair) :foreground colour))))))

;;;###autoload
(define-derived-mode wyn-mode prog-mode "WYN"
  "Major mode for WYN installation scripts.
The words come from wyn-words.el, which `wyn export --format=emacs'
writes; the language server is `wyn lsp', for eglot."
  :syntax-table wyn-mode-syntax-table
  (setq-local comment-start "// ")
  (setq-local comment-end "")
  (setq-local comment-start-skip "\\(?://+\\|/\\*+\\)\\s *")
  (setq-local comment-end-skip "[ \t]*\\(?:\n\\|\\*+/\\)")
  (setq-local font-lock-defaults '(wyn-font-lock-keywords nil nil))
  (setq-local syntax-propertize-function #'wyn--syntax-propertize)
  (setq-local imenu-create-index-function #'wyn-imenu-index)
  (setq-local beginning-of-defun-function #'wyn-beginning-of-defun)
  (setq-local end-of-defun-function #'wyn-end-of-defun)
  (setq-local indent-line-function #'wyn-indent-line)
  (wyn--load-words)
  (wyn--apply-plugin-colours))

;;;###autoload
(add-to-list 'auto-mode-alist '("\\.[wW][yY][nN]\\'" . wyn-mode))

(defun wyn--eglot-contact (&optional _interactive)
  "The command that starts the server, read from `wyn-program' when eglot asks."
  (list wyn-program "lsp"))

;;;###autoload
(with-eval-after-load 'eglot
  (defvar eglot-server-programs)
  (add-to-list 'eglot-server-programs '(wyn-mode . wyn--eglot-contact)))

(provide 'wyn-mode)
;;; wyn-mode.el ends here
